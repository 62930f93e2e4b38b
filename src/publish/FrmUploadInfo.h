#pragma once
// The upload window: connection settings, the list of files and folders to send,
// the status box, and the commands that drive the FTP client.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <memory>

class QTreeWidgetItem;

namespace Ui {
class FrmUploadInfo;
}

namespace publish {

class FTP;

class FrmUploadInfo : public QDialog {
    Q_OBJECT
public:
    explicit FrmUploadInfo(QWidget *parent = nullptr);
    ~FrmUploadInfo() override;

    // Refills the list from a dependency list (a page's path + ".files"); a missing
    // file leaves the list alone.
    void AddFilesToList(const QString &sMainFile);
    // exec() for the program; tests drive the handlers without a modal loop.
    int showModal() { return exec(); }

    // Button handlers (public so that tests can press them without a modal loop).
    void cmdAddFile_Click();
    void cmdAddFolder_Click();
    void cmdRemove_Click();
    void cmdRemoveAll_Click();
    void cmdUploadAll_Click();
    void cmdUploadCheck_Click();
    void cmdCancel_Click();

    // Seconds without progress before an FTP command gives up; 0 = the client's default.
    void setRequestTimeout(qint16 seconds) { m_timeOut = seconds; }

    Ui::FrmUploadInfo *ui() const { return m_ui.get(); }

public slots:
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    bool beginUpload();
    void endUpload();
    void setStatus(const QString &text);
    void countUploadSize(const QStringList &paths);
    void showProgress(qint64 currentFileBytes);
    bool UploadPath(const QString &path);
    bool UploadFolder(const QString &path);
    void ShowUploadError(const QString &text);
    QTreeWidgetItem *addRow(const QString &name, const QString &path);
    void loadSettings();
    void saveSettings();

    std::unique_ptr<Ui::FrmUploadInfo> m_ui;
    std::unique_ptr<FTP> objFTP;
    QString sUploadError;
    qint16 m_timeOut = 0;
    qint64 m_totalBytes = 0;
    qint64 m_doneBytes = 0;
    int m_totalFiles = 0;
    int m_doneFiles = 0;
    QStringList m_folderChain; // canonical paths of the folders being sent, to stop link loops
};

} // namespace publish
