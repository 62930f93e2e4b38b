#include "platform/widgets/BrowserView.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QWebEnginePage>

namespace platform {

namespace {

// setHtml refuses documents of 2 MB and more.
constexpr qsizetype kInlineHtmlLimit = 1024 * 1024;

} // namespace

BrowserView::BrowserView(QWidget *parent) : QWebEngineView(parent) {}

QUrl BrowserView::urlFor(const QString &address)
{
    const QString trimmed = address.trimmed();
    if (trimmed.startsWith(QLatin1String("file://"), Qt::CaseInsensitive)) {
        // "file://" followed by a path as it stands: spaces, "#" or "%" in the path are
        // parts of the name, not of a URL.
        const QString path = trimmed.mid(7);
        if (QFileInfo::exists(path))
            return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        const QUrl url(trimmed);
        if (url.isValid())
            return url;
        return QUrl::fromLocalFile(path);
    }
    if (QFileInfo(trimmed).isAbsolute() || QFileInfo::exists(trimmed))
        return QUrl::fromLocalFile(QFileInfo(trimmed).absoluteFilePath());
    return QUrl::fromUserInput(trimmed);
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

void BrowserView::Stop()
{
    stop();
}

} // namespace platform
