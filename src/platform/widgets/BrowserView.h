#pragma once
// The preview: shows a file or a web address.

#include <QTemporaryFile>
#include <QWebEngineView>
#include <memory>

namespace platform {

class BrowserView : public QWebEngineView {
    Q_OBJECT
public:
    explicit BrowserView(QWidget *parent = nullptr);

    // Starts loading and returns at once. Takes a plain file path, "file://" + path,
    // a web address, "about:blank", or "about:" followed by inline HTML.
    void Navigate(const QString &address);
    void Stop();

    // The URL Navigate loads for an address other than "about:...".
    static QUrl urlFor(const QString &address);

private:
    std::unique_ptr<QTemporaryFile> m_inlineFile;
};

} // namespace platform
