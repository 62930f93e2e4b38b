#pragma once
// The update window: asks the update server for a newer version on its first timer
// tick and shows the server's update page when there is one; otherwise it closes.

#include "desktop/UpdateCheck.h"

#include <QDialog>
#include <QString>
#include <functional>

class QLabel;
class QPushButton;
class QTimer;

namespace platform {
class BrowserView;
class HttpFetch;
} // namespace platform

namespace desktop {

class frmCheck4Updates : public QDialog {
    Q_OBJECT
public:
    // Creates, shows and starts the check when not loaded; otherwise shows the loaded one.
    static frmCheck4Updates *load(QWidget *parent = nullptr);
    // nullptr when unloaded. Keep a QPointer when waiting across event processing.
    static frmCheck4Updates *instance();
    // Called on every unload (shows the main window).
    static void setMainWindowShower(std::function<void()> shower);

    // Shows the main window, hides this one and deletes it later. Safe to call twice.
    // An unfinished check ends with it (CheckDone is set).
    void unload();

    bool UpdateFound = false;
    bool CheckDone = false;
    QString CheckMessage;

    // Upper bound on the version fetch; tests shorten it.
    void setFetchTimeoutMs(int ms) { m_fetchTimeoutMs = ms; }

    // Made when a page is first shown in it.
    platform::BrowserView *WebBrowser1 = nullptr;
    QTimer *Timer1 = nullptr;
    QPushButton *cmdClose = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label15 = nullptr;

    // Escape and the close box unload the window like cmdClose.
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    explicit frmCheck4Updates(QWidget *parent);
    ~frmCheck4Updates() override;
    void Form_Load();
    void Timer1_Timer();
    void cmdClose_Click();
    void checkAnswered(bool ok, const QByteArray &body);
    platform::BrowserView *browser();

    QWidget *m_browserArea = nullptr;
    platform::HttpFetch *m_fetch = nullptr;
    int m_fetchTimeoutMs = kUpdateFetchTimeoutMs;
    bool m_unloaded = false;
};

} // namespace desktop
