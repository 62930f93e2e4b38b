#pragma once
// Transport on libcurl. One easy handle per object keeps one control connection
// for the object's life; it lives on a worker thread, so a slow server never
// blocks the caller's event loop. The remote current directory is tracked here
// and every URL is built from it.

#include "publish/transport/Transport.h"

#include <QByteArray>
#include <QObject>
#include <memory>

class QThread;

namespace transport {

class CurlWorker;

// Sets libcurl up, once for the process, from any thread: OpenSSL's set-up comes with
// it whatever the flags (libcurl 7.88), so it is worth starting ahead of the first
// command. Transports call it themselves before their first one.
void SetUpCurl();

class CurlTransport : public QObject, public Transport {
    Q_OBJECT
public:
    explicit CurlTransport(QObject *parent = nullptr);
    ~CurlTransport() override;

    void Execute(const QString &operation) override;
    bool StillExecuting() const override { return m_pending > 0; }
    int ResponseCode() const override { return m_code; }
    QString ResponseInfo() const override { return m_info; }
    QString GetChunk(int size) override;
    bool ExecuteNext(const QString &operation) override;
    bool TakeNext() override;
    bool WithdrawNext() override;

    // The remote current directory as tracked after the last finished command
    // ("" = the login directory; a leading "/" when absolute).
    QString currentDirectory() const { return m_cwd; }

    struct Queue; // the command queued behind the one under way, shared with the worker

private:
    struct Result {
        int code = 0;
        QString info;
        QByteArray output;
        QString cwd;
    };
    void finished(const Result &result, bool queued, bool nextStarted);
    void apply(const Result &result);

    std::unique_ptr<QThread> m_thread;
    CurlWorker *m_worker = nullptr;
    int m_pending = 0;
    int m_code = 0;
    QString m_info;
    QString m_output;
    qsizetype m_outputPos = 0;
    QString m_cwd;
    std::shared_ptr<Queue> m_queue;
    // The queued command: none, waiting for the one under way, or started by the worker.
    enum class Next { None, Queued, Started } m_next = Next::None;
    bool m_currentQueued = false; // the command under way was queued: its result comes as such
    bool m_early = false;         // a started queued command ended before TakeNext
    Result m_earlyResult;
};

} // namespace transport
