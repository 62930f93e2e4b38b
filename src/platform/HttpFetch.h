#pragma once
// HTTP GET of a small text body with a hard time-out: any failure (no connection,
// an HTTP error status, a body too large, no answer in time) is reported as such.

#include <QByteArray>
#include <QObject>
#include <QUrl>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

namespace platform {

class HttpFetch : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kMaxBodyBytes = 1 << 20;

    explicit HttpFetch(QObject *parent = nullptr);
    ~HttpFetch() override;

    // Starts one request; `finished` follows exactly once unless abort() or the
    // object's destruction comes first.
    void start(const QUrl &url, int timeoutMs);
    void abort();
    bool isRunning() const { return m_running; }

signals:
    void finished(bool ok, const QByteArray &body);

private:
    void done(bool ok, const QByteArray &body);

    QNetworkAccessManager *m_manager = nullptr;
    QNetworkReply *m_reply = nullptr;
    QTimer *m_deadline = nullptr;
    bool m_running = false;
};

// Waits for the body in a local event loop; empty on any failure.
std::optional<QByteArray> fetchUrl(const QUrl &url, int timeoutMs);

} // namespace platform
