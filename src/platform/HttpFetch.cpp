#include "HttpFetch.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace platform {

HttpFetch::HttpFetch(QObject *parent) : QObject(parent)
{
    m_manager = new QNetworkAccessManager(this);
    m_deadline = new QTimer(this);
    m_deadline->setSingleShot(true);
    // A hard deadline for the whole request: the transfer time-out alone restarts on
    // every byte, so a server that trickles data could hold the caller forever.
    connect(m_deadline, &QTimer::timeout, this, [this] { done(false, {}); });
}

HttpFetch::~HttpFetch()
{
    abort();
}

void HttpFetch::start(const QUrl &url, int timeoutMs)
{
    abort();
    m_running = true;
    // Reserved names never resolve; a resolver that cannot reach its server would
    // still hold the caller for seconds, so fail at once.
    const QString host = url.host().toLower();
    if (!url.isValid() || host.isEmpty() || host == QLatin1String("invalid") ||
        host.endsWith(QLatin1String(".invalid"))) {
        m_deadline->start(0);
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    m_reply = m_manager->get(request);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        if (received > kMaxBodyBytes)
            done(false, {});
    });
    connect(m_reply, &QNetworkReply::finished, this, [this] {
        if (!m_reply)
            return;
        const bool ok = m_reply->error() == QNetworkReply::NoError;
        const QByteArray body = ok ? m_reply->read(kMaxBodyBytes + 1) : QByteArray();
        done(ok && body.size() <= kMaxBodyBytes, ok ? body : QByteArray());
    });
    m_deadline->start(timeoutMs);
}

void HttpFetch::abort()
{
    m_running = false;
    m_deadline->stop();
    if (!m_reply)
        return;
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void HttpFetch::done(bool ok, const QByteArray &body)
{
    if (!m_running)
        return;
    abort();
    emit finished(ok, body);
}

std::optional<QByteArray> fetchUrl(const QUrl &url, int timeoutMs)
{
    HttpFetch fetch;
    QEventLoop loop;
    std::optional<QByteArray> result;
    QObject::connect(&fetch, &HttpFetch::finished, &loop, [&](bool ok, const QByteArray &body) {
        if (ok)
            result = body;
        loop.quit();
    });
    fetch.start(url, timeoutMs);
    if (fetch.isRunning())
        loop.exec();
    return result;
}

} // namespace platform
