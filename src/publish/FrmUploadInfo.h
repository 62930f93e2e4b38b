#pragma once
// The upload window: connection settings, the list of files and folders to send,
// the status box, and the commands; the publishing itself is the engine's.

#include "publish/UploadEngine.h"

#include <QDialog>
#include <QString>
#include <QStringList>
#include <memory>

class QTreeWidgetItem;

namespace Ui {
class FrmUploadInfo;
}

namespace publish {

class FrmUploadInfo : public QDialog {
    Q_OBJECT
public:
    // Without an engine the window makes one over the real network.
    explicit FrmUploadInfo(QWidget *parent = nullptr, std::unique_ptr<UploadEngine> engine = {});
    ~FrmUploadInfo() override;

    // Fills the list with the page of `listPath` (the page's path + ".files") and its
    // files, ticked: the ones the list names, or without a list the page and the local
    // files it refers to. What the list held before never stays.
    void AddFilesToList(const QString &listPath);

    // Button handlers (public so that tests can press them without a modal loop).
    void cmdAddFile_Click();
    void cmdAddFolder_Click();
    void cmdRemove_Click();
    void cmdRemoveAll_Click();
    void cmdUploadAll_Click();
    void cmdUploadCheck_Click();
    // Closes the window, or during a publish stops it after the current file.
    void cmdCancel_Click();
    void cmdTestConnection_Click();
    // Stores the settings and the list; Cancel does not.
    void cmdSave_Click();

    // Seconds without progress before an FTP command gives up; 0 = the client's default.
    void setRequestTimeout(qint16 seconds) { m_timeOut = seconds; }

    Ui::FrmUploadInfo *ui() const { return m_ui.get(); }
    // The web address of the page the last publish sent, or "".
    QString liveAddress() const { return m_liveAddress; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    bool readTarget(Target &target);
    bool readServer(Target &target) const; // false: the port box holds no port
    void showProtocolFields(int index);
    void bindSavedPassword();
    void setBusy(bool busy);
    void upload(const QList<QTreeWidgetItem *> &rows, bool selectedOnly);
    void reportLiveAddress(const Summary &summary);
    void setStatus(const QString &text);
    void ShowUploadError(const QString &text);
    QTreeWidgetItem *addRow(const QString &name, const QString &path);
    void loadSettings();
    void saveSettings();

    std::unique_ptr<Ui::FrmUploadInfo> m_ui;
    std::unique_ptr<UploadEngine> m_engine;
    std::unique_ptr<Target> m_saved; // the server the saved password belongs to, and the password
    QString m_uploadError;
    QString m_liveAddress;
    qint16 m_timeOut = 0;
    bool m_busy = false;
    QList<QWidget *> m_disabled; // controls switched off for a publish
};

} // namespace publish
