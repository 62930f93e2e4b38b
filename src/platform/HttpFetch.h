#pragma once
// HTTP GET of a small text body with a hard time-out: any failure (no connection,
// an HTTP error status, a body too large, no answer in time) is reported as such.

#include <QByteArray>
#include <QObject>
#include <QString>
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
    // object's destruction comes first. A body beyond `maxBytes` is a failure.
    void start(const QUrl &url, int timeoutMs, qint64 maxBytes = kMaxBodyBytes);
    void abort();
    bool isRunning() const { return m_running; }

    // What the last request got, failed or not: the HTTP status (0 = no answer), its
    // reason phrase, the network error's text, and the body bytes that arrived.
    int status() const { return m_status; }
    QString reason() const { return m_reason; }
    QString errorText() const { return m_errorText; }
    qint64 received() const { return m_received; }

signals:
    void finished(bool ok, const QByteArray &body);

private:
    void done(bool ok, const QByteArray &body);
    void noteReply();

    QNetworkAccessManager *m_manager = nullptr;
    QNetworkReply *m_reply = nullptr;
    QTimer *m_deadline = nullptr;
    bool m_running = false;
    int m_status = 0;
    QString m_reason, m_errorText;
    qint64 m_received = 0;
};

// Waits for the body in a local event loop; empty on any failure.
std::optional<QByteArray> fetchUrl(const QUrl &url, int timeoutMs);

} // namespace platform
