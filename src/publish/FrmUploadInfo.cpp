#include "publish/FrmUploadInfo.h"

#include "check/PageCheck.h"
#include "platform/AppFolder.h"
#include "platform/Dialogs.h"
#include "publish/FTP.h"
#include "store/QtForm.h"
#include "ui_FrmUploadInfo.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace publish {

namespace {

const QString kSettingsFile = QStringLiteral(":ftpinfo.ini");

// Re-enables the window however an upload ends.
class UploadScope {
public:
    explicit UploadScope(std::function<void()> end) : m_end(std::move(end)) {}
    ~UploadScope() { m_end(); }

private:
    std::function<void()> m_end;
};

QString withoutTrailingSeparators(QString path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

// Pages with errors (a placeholder left, a missing file ...) are sent only when the
// user says so.
bool pagesReadyToSend(const QStringList &paths, QWidget *parent)
{
    const QVector<check::Report> faulty = check::PagesWithErrors(paths);
    return faulty.isEmpty() ||
           platform::dialogs().message(check::SendAnywayQuestion(faulty), platform::kAppTitle,
                                       platform::Buttons::YesNo, platform::Icon::Warning,
                                       parent) == platform::Answer::Yes;
}

QStringList rowPaths(const QTreeWidget *list, bool onlyTicked)
{
    QStringList paths;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (!onlyTicked || list->topLevelItem(i)->checkState(0) == Qt::Checked)
            paths << list->topLevelItem(i)->text(1);
    }
    return paths;
}

} // namespace

FrmUploadInfo::FrmUploadInfo(QWidget *parent) : QDialog(parent), m_ui(std::make_unique<Ui::FrmUploadInfo>())
{
    m_ui->setupUi(this);
    setWindowTitle(QStringLiteral("Quillmark : Upload Files"));
    if (parent)
        setWindowIcon(parent->window()->windowIcon());
    m_ui->lstFiles->header()->setStretchLastSection(true);
    m_ui->lstFiles->setColumnWidth(0, 200);

    connect(m_ui->cmdAddFile, &QPushButton::clicked, this, &FrmUploadInfo::cmdAddFile_Click);
    connect(m_ui->cmdAddFolder, &QPushButton::clicked, this, &FrmUploadInfo::cmdAddFolder_Click);
    connect(m_ui->cmdRemove, &QPushButton::clicked, this, &FrmUploadInfo::cmdRemove_Click);
    connect(m_ui->cmdRemoveAll, &QPushButton::clicked, this, &FrmUploadInfo::cmdRemoveAll_Click);
    connect(m_ui->cmdUploadAll, &QPushButton::clicked, this, &FrmUploadInfo::cmdUploadAll_Click);
    connect(m_ui->cmdUploadCheck, &QPushButton::clicked, this, &FrmUploadInfo::cmdUploadCheck_Click);
    connect(m_ui->cmdCancel, &QPushButton::clicked, this, &FrmUploadInfo::cmdCancel_Click);

    loadSettings();
    m_ui->txtStatus->clear();
}

FrmUploadInfo::~FrmUploadInfo() = default;

void FrmUploadInfo::loadSettings()
{
    store::loadWindowFromIni(this, kSettingsFile, platform::userDataFolder());
}

void FrmUploadInfo::saveSettings()
{
    // The file holds the password: owner-only, also across the rename of a save.
    store::saveWindowToIni(this, kSettingsFile, platform::userDataFolder(),
                           platform::IniFile::Access::OwnerOnly);
}

void FrmUploadInfo::closeEvent(QCloseEvent *event)
{
    // The close box still works on a disabled window; an upload must finish first.
    if (!isEnabled()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void FrmUploadInfo::done(int result)
{
    saveSettings();
    QDialog::done(result);
}

QTreeWidgetItem *FrmUploadInfo::addRow(const QString &name, const QString &path)
{
    auto *item = new QTreeWidgetItem(m_ui->lstFiles, QStringList{name, path});
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
    return item;
}

void FrmUploadInfo::AddFilesToList(const QString &sMainFile)
{
    if (!QFileInfo(sMainFile).isFile())
        return;
    QFile file(sMainFile);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QString text = QString::fromLocal8Bit(file.readAll());
    file.close();

    m_ui->lstFiles->clear();
    const QStringList lines = text.split('\n');
    for (QString line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith(QLatin1String("::")))
            continue;
        QFileInfo info(line);
        if (line.isEmpty() || !info.isFile())
            continue;
        addRow(info.fileName(), line)->setSelected(true);
    }
}

void FrmUploadInfo::cmdAddFile_Click()
{
    platform::FileRequest request;
    request.title = QStringLiteral("Add Files");
    request.filter = QStringLiteral("All Files (*.*)|*.*");
    const QString path = platform::dialogs().openFile(request, this);
    if (path.isEmpty())
        return;
    addRow(QFileInfo(path).fileName(), path)->setCheckState(0, Qt::Checked);
}

void FrmUploadInfo::cmdAddFolder_Click()
{
    const QString path = platform::dialogs().chooseFolder(QStringLiteral("Select a Directory"),
                                                          platform::applicationFolder(), this);
    if (path.trimmed().isEmpty())
        return;
    const QString bare = withoutTrailingSeparators(path);
    addRow(bare.mid(bare.lastIndexOf('/') + 1), path)->setCheckState(0, Qt::Checked);
}

void FrmUploadInfo::cmdRemove_Click()
{
    QTreeWidget *list = m_ui->lstFiles;
    for (int i = 0; i < list->topLevelItemCount();) {
        if (list->topLevelItem(i)->checkState(0) == Qt::Checked)
            delete list->takeTopLevelItem(i);
        else
            ++i;
    }
}

void FrmUploadInfo::cmdRemoveAll_Click()
{
    m_ui->lstFiles->clear();
}

void FrmUploadInfo::cmdCancel_Click()
{
    reject();
}

void FrmUploadInfo::setStatus(const QString &text)
{
    QString plain = text;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_ui->txtStatus->setPlainText(plain);
}

void FrmUploadInfo::ShowUploadError(const QString &text)
{
    platform::dialogs().message(text, platform::kAppTitle, platform::Buttons::Ok, platform::Icon::Critical,
                                this);
}

void FrmUploadInfo::countUploadSize(const QStringList &paths)
{
    m_totalBytes = m_doneBytes = 0;
    m_totalFiles = m_doneFiles = 0;
    for (const QString &path : paths) {
        QFileInfo info(path);
        if (info.isFile()) {
            ++m_totalFiles;
            m_totalBytes += info.size();
        } else if (info.isDir()) {
            QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                it.next();
                ++m_totalFiles;
                m_totalBytes += it.fileInfo().size();
            }
        }
    }
    showProgress(0);
}

void FrmUploadInfo::showProgress(qint64 currentFileBytes)
{
    QProgressBar *bar = m_ui->prgUpload;
    qint64 done = qMin(m_doneBytes + currentFileBytes, m_totalBytes);
    bar->setValue(m_totalBytes > 0 ? int(done * bar->maximum() / m_totalBytes) : 0);
    bar->setFormat(tr("%1 of %2 files").arg(m_doneFiles).arg(m_totalFiles));
}

// Disables the window, connects and changes into the remote directory. False
// when nothing can be sent (a bad port number); the window then stays usable.
bool FrmUploadInfo::beginUpload()
{
    bool numeric = false;
    const uint port = m_ui->txtServerPort->text().trimmed().toUInt(&numeric);
    if (!numeric || port > 65535) {
        platform::msgBox(QStringLiteral("Please enter a server port number between 0 and 65535 "
                                        "(0 for the standard port)."),
                         this);
        m_ui->txtServerPort->setFocus();
        return false;
    }
    setEnabled(false);
    sUploadError.clear();
    objFTP = std::make_unique<FTP>();
    objFTP->setStatusSink([this](const QString &text) { setStatus(text); });
    objFTP->setProgressSink([this](qint64 done, qint64) { showProgress(done); });
    objFTP->setFileSentSink([this](const QString &path, bool ok) {
        ++m_doneFiles;
        if (ok)
            m_doneBytes += QFileInfo(path).size();
        showProgress(0);
    });

    if (!objFTP->FTPInit(m_ui->txtServerName->text(), m_ui->txtUserId->text(), m_ui->txtPassword->text(),
                         m_timeOut, quint16(port), QString(), sUploadError))
        ShowUploadError(sUploadError);
    objFTP->FTPChangeRemoteFolder(m_ui->txtRemoteDir->text(), sUploadError);
    if (!sUploadError.isEmpty())
        ShowUploadError(sUploadError);
    return true;
}

void FrmUploadInfo::endUpload()
{
    objFTP.reset();
    m_folderChain.clear();
    setEnabled(true);
}

void FrmUploadInfo::cmdUploadAll_Click()
{
    if (!pagesReadyToSend(rowPaths(m_ui->lstFiles, false), this) || !beginUpload())
        return;
    UploadScope scope([this] { endUpload(); });
    QStringList paths;
    for (int i = 0; i < m_ui->lstFiles->topLevelItemCount(); ++i)
        paths << m_ui->lstFiles->topLevelItem(i)->text(1);
    // Without a connection or in the wrong remote folder every row would fail or
    // land in the wrong place: the error has been shown, nothing is sent.
    if (sUploadError.isEmpty()) {
        countUploadSize(paths);
        for (const QString &path : paths) {
            if (!UploadPath(path))
                break;
        }
    }
    objFTP->FTPClose();
    if (sUploadError.isEmpty()) {
        platform::msgBox(QStringLiteral("Upload Over"), this);
        setStatus(QStringLiteral("Upload Over"));
    }
}

void FrmUploadInfo::cmdUploadCheck_Click()
{
    if (!pagesReadyToSend(rowPaths(m_ui->lstFiles, true), this) || !beginUpload())
        return;
    UploadScope scope([this] { endUpload(); });
    if (sUploadError.isEmpty()) {
        QStringList ticked;
        for (int i = 0; i < m_ui->lstFiles->topLevelItemCount(); ++i) {
            if (m_ui->lstFiles->topLevelItem(i)->checkState(0) == Qt::Checked)
                ticked << m_ui->lstFiles->topLevelItem(i)->text(1);
        }
        countUploadSize(ticked);
        for (int i = 0; i < m_ui->lstFiles->topLevelItemCount(); ++i) {
            QTreeWidgetItem *item = m_ui->lstFiles->topLevelItem(i);
            if (item->checkState(0) != Qt::Checked)
                continue;
            const QString path = item->text(1);
            QCoreApplication::processEvents();
            if (!UploadPath(path))
                break;
        }
    }
    objFTP->FTPClose();
    platform::msgBox(sUploadError.isEmpty() ? QStringLiteral("Upload Over")
                                            : QStringLiteral("Error Occured in uploading."),
                     this);
}

// False when the remote current directory is no longer the upload's own: later
// rows would land in the wrong place, so the caller stops.
bool FrmUploadInfo::UploadPath(const QString &path)
{
    QFileInfo info(path);
    if (info.isDir())
        return UploadFolder(path);
    if (!info.isFile())
        return true;
    const int slash = path.lastIndexOf('/');
    if (!objFTP->FTPPut(path.left(slash + 1), path.mid(slash + 1), QString(), sUploadError)) {
        ShowUploadError(sUploadError);
        setStatus(QString());
    }
    return true;
}

// Sends the folder's files into the current remote directory and each subfolder
// into a remote folder of its own name. Returns true when the remote current
// directory is again the one it was at the start.
bool FrmUploadInfo::UploadFolder(const QString &path)
{
    const QString folder = path.endsWith('/') ? path : path + '/';
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (m_folderChain.contains(canonical))
        return true; // a link back to a folder being sent
    m_folderChain << canonical;

    const QString before = sUploadError;
    if (!objFTP->FTPPutAll(folder, QString(), QString(), sUploadError)) {
        if (sUploadError == kNoFilesFound) {
            sUploadError = before; // a folder with only subfolders is no failure
        } else {
            ShowUploadError(sUploadError);
            setStatus(QString());
        }
    }

    bool inPlace = true;
    const QStringList subfolders =
        QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
    for (const QString &sub : subfolders) {
        if (!objFTP->FTPCreateRemoteFolder(sub, sUploadError) ||
            !objFTP->FTPChangeRemoteFolder(sub, sUploadError)) {
            ShowUploadError(sUploadError);
            break;
        }
        if (!UploadFolder(folder + sub)) {
            inPlace = false;
            break;
        }
        // Back to this folder's remote directory for the next subfolder and row.
        if (!objFTP->FTPChangeRemoteFolder(QStringLiteral(".."), sUploadError)) {
            ShowUploadError(sUploadError);
            inPlace = false;
            break;
        }
    }
    m_folderChain.removeLast();
    return inPlace;
}

} // namespace publish
