// The check of a page on the web server, apart from the engine: Qt Network is linked
// only into what calls it (the upload window), so a command-line publish never loads it.
#include "platform/HttpFetch.h"
#include "publish/UploadEngine.h"

#include <QEventLoop>
#include <QUrl>

namespace publish {

QString CheckLiveAddress(const QString &url, qint64 expectedSize, int timeoutMs)
{
    platform::HttpFetch fetch;
    QEventLoop loop;
    bool ok = false;
    qint64 size = 0;
    QObject::connect(&fetch, &platform::HttpFetch::finished, &loop, [&](bool good, const QByteArray &body) {
        ok = good;
        size = body.size();
        loop.quit();
    });
    // A page a little larger than the one sent still says what came back.
    fetch.start(QUrl(url), timeoutMs, expectedSize + (1 << 20));
    if (fetch.isRunning())
        loop.exec();
    if (fetch.status() == 0)
        return QStringLiteral("The page at %1 did not answer (%2).").arg(url, fetch.errorText());
    if (fetch.status() != 200)
        return QStringLiteral("The page at %1 answered %2 %3 instead of 200.")
            .arg(url)
            .arg(fetch.status())
            .arg(fetch.reason());
    if (!ok || size != expectedSize)
        return QStringLiteral("The page at %1 answered with %2 bytes, but %3 were sent.")
            .arg(url)
            .arg(ok ? size : fetch.received())
            .arg(expectedSize);
    return QString();
}

} // namespace publish
