#include "platform/widgets/BrowserView.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>

namespace platform {

namespace {

// Refuses what would let a local page read other local files or send anything away
// on its own: the requests its scripts make (XHR, fetch, beacons, sockets, workers)
// and local files in frames or objects, whose content a script could read. What
// the markup shows (images, style sheets, scripts, web frames) still loads.
class LocalPageGuard : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        if (!info.firstPartyUrl().isLocalFile())
            return;
        switch (info.resourceType()) {
        case QWebEngineUrlRequestInfo::ResourceTypeXhr:
        case QWebEngineUrlRequestInfo::ResourceTypePing:
        case QWebEngineUrlRequestInfo::ResourceTypeWebSocket:
        case QWebEngineUrlRequestInfo::ResourceTypeCspReport:
        case QWebEngineUrlRequestInfo::ResourceTypePrefetch:
        case QWebEngineUrlRequestInfo::ResourceTypeWorker:
        case QWebEngineUrlRequestInfo::ResourceTypeSharedWorker:
        case QWebEngineUrlRequestInfo::ResourceTypeServiceWorker:
        case QWebEngineUrlRequestInfo::ResourceTypePluginResource:
        case QWebEngineUrlRequestInfo::ResourceTypeObject:
            info.block(true);
            break;
        case QWebEngineUrlRequestInfo::ResourceTypeSubFrame: // a local file in a frame
            if (info.requestUrl().isLocalFile())
                info.block(true);
            break;
        case QWebEngineUrlRequestInfo::ResourceTypeSubResource: // other loads, off the disk
            if (!info.requestUrl().isLocalFile())
                info.block(true);
            break;
        default:
            break;
        }
    }
};

} // namespace

BrowserView::BrowserView(QWidget *parent) : QWebEngineView(parent), m_guard(new LocalPageGuard)
{
    QWebEngineSettings *s = page()->settings();
    // Local content may load the page's own files (style sheets, images): the guard
    // below keeps scripts from reading them.
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    s->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    page()->setUrlRequestInterceptor(m_guard.get());
}

BrowserView::~BrowserView()
{
    // The page outlives nothing it points to.
    page()->setUrlRequestInterceptor(nullptr);
}

QUrl BrowserView::urlFor(const QString &address)
{
    const QString trimmed = address.trimmed();
    if (trimmed.startsWith(QLatin1String("file://"), Qt::CaseInsensitive)) {
        // "file://" followed by a path as it stands: spaces, "#" or "%" in the path are
        // parts of the name, not of a URL.
        const QString path = trimmed.mid(7);
        if (QFileInfo::exists(path))
            return fileUrl(path);
        const QUrl url(trimmed);
        if (url.isValid())
            return url;
        return QUrl::fromLocalFile(path);
    }
    if (QFileInfo(trimmed).isAbsolute() || QFileInfo::exists(trimmed))
        return fileUrl(trimmed);
    return QUrl::fromUserInput(trimmed);
}

QUrl BrowserView::fileUrl(const QString &path)
{
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
}

void BrowserView::Navigate(const QString &address)
{
    if (address.startsWith(QLatin1String("about:"), Qt::CaseInsensitive) &&
        address.compare(QLatin1String("about:blank"), Qt::CaseInsensitive) != 0) {
        const QString html = address.mid(6);
        if (html.size() < kInlineHtmlLimit) {
            setHtml(html, QUrl(QStringLiteral("about:blank")));
            return;
        }
        // Too big to hand over inline: shown from a file instead.
        m_inlineFile.reset(new QTemporaryFile(QDir::tempPath() + QStringLiteral("/quillmark-XXXXXX.htm")));
        if (m_inlineFile->open()) {
            m_inlineFile->write(html.toUtf8());
            m_inlineFile->close();
            load(QUrl::fromLocalFile(m_inlineFile->fileName()));
        }
        return;
    }
    load(urlFor(address));
}

void BrowserView::showFile(const QString &path)
{
    load(fileUrl(path));
}

void BrowserView::showHtml(const QString &html, const QString &baseFile)
{
    if (html.size() < kInlineHtmlLimit && !baseFile.isEmpty()) {
        setHtml(html, fileUrl(baseFile));
        return;
    }
    Navigate(QStringLiteral("about:") + html);
}

void BrowserView::Stop()
{
    stop();
}

} // namespace platform
