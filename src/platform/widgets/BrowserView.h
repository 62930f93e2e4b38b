#pragma once
// The preview: shows a file or a web address. A local page shown here may run its
// scripts, but may not read other local files, and its scripts may not send
// requests to the network (images, style sheets and the like still load).

#include <QTemporaryFile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <memory>

namespace platform {

// The biggest page the WebEngine views take inline: setHtml refuses documents of 2 MB
// and more, so bigger ones are shown from a file.
inline constexpr qsizetype kInlineHtmlLimit = 1024 * 1024;

class BrowserView : public QWebEngineView {
    Q_OBJECT
public:
    explicit BrowserView(QWidget *parent = nullptr);
    ~BrowserView() override;

    // Starts loading and returns at once. Takes a plain file path, "file://" + path,
    // a web address, "about:blank", or "about:" followed by inline HTML.
    void Navigate(const QString &address);
    void Stop();
    // Shows the page file at `path`.
    void showFile(const QString &path);
    // Shows `html` as if it were the file `baseFile` (its relative addresses resolve
    // there); the file itself is not read.
    void showHtml(const QString &html, const QString &baseFile);

    // The URL Navigate loads for an address other than "about:...".
    static QUrl urlFor(const QString &address);
    // The address of a local file, whatever characters its name holds; a relative
    // path is taken from the working folder.
    static QUrl fileUrl(const QString &path);

private:
    std::unique_ptr<QTemporaryFile> m_inlineFile;
    std::unique_ptr<QWebEngineUrlRequestInterceptor> m_guard;
};

} // namespace platform
