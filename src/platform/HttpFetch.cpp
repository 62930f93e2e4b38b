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
    connect(m_deadline, &QTimer::timeout, this, [this] {
        if (m_errorText.isEmpty())
            m_errorText = tr("no answer in time");
        done(false, {});
    });
}

HttpFetch::~HttpFetch()
{
    abort();
}

void HttpFetch::start(const QUrl &url, int timeoutMs, qint64 maxBytes)
{
    abort();
    m_running = true;
    m_status = 0;
    m_reason.clear();
    m_errorText.clear();
    m_received = 0;
    // Reserved names never resolve; a resolver that cannot reach its server would
    // still hold the caller for seconds, so fail at once.
    const QString host = url.host().toLower();
    if (!url.isValid() || host.isEmpty() || host == QLatin1String("invalid") ||
        host.endsWith(QLatin1String(".invalid"))) {
        m_errorText = tr("not a usable address");
        m_deadline->start(0);
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    m_reply = m_manager->get(request);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this, maxBytes](qint64 received, qint64) {
        m_received = received;
        if (received > maxBytes) {
            noteReply();
            done(false, {});
        }
    });
    connect(m_reply, &QNetworkReply::finished, this, [this, maxBytes] {
        if (!m_reply)
            return;
        noteReply();
        const bool ok = m_reply->error() == QNetworkReply::NoError;
        const QByteArray body = ok ? m_reply->read(maxBytes + 1) : QByteArray();
        if (ok)
            m_received = body.size();
        done(ok && body.size() <= maxBytes, ok ? body : QByteArray());
    });
    m_deadline->start(timeoutMs);
}

void HttpFetch::noteReply()
{
    m_status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    m_reason = m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    if (m_reply->error() != QNetworkReply::NoError)
        m_errorText = m_reply->errorString();
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
