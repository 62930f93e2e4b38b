#pragma once
// Transport on libcurl. One easy handle per object keeps one control connection
// for the object's life; it lives on a worker thread, so a slow server never
// blocks the caller's event loop. The remote current directory is tracked here
// and every URL is built from it.

#include "publish/transport/Transport.h"

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

    // The remote current directory as tracked after the last finished command
    // ("" = the login directory; a leading "/" when absolute).
    QString currentDirectory() const { return m_cwd; }

private:
    void finished(int code, const QString &info, const QByteArray &output, const QString &cwd);

    std::unique_ptr<QThread> m_thread;
    CurlWorker *m_worker = nullptr;
    int m_pending = 0;
    int m_code = 0;
    QString m_info;
    QString m_output;
    qsizetype m_outputPos = 0;
    QString m_cwd;
};

} // namespace transport
