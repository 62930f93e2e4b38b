#include "publish/FrmUploadInfo.h"

#include "check/PageCheck.h"
#include "platform/AppFolder.h"
#include "platform/Dialogs.h"
#include "publish/FrmVersions.h"
#include "publish/HashCache.h"
#include "publish/SavedTarget.h"
#include "publish/SiteFiles.h"
#include "publish/UploadEngine.h"
#include "publish/VersionStore.h"
#include "ui_FrmUploadInfo.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace publish {

namespace {

// Gives the window back however a publish ends.
class BusyScope {
public:
    explicit BusyScope(std::function<void(bool)> set) : m_set(std::move(set)) { m_set(true); }
    ~BusyScope() { m_set(false); }

private:
    std::function<void(bool)> m_set;
};

bool isPage(const QString &name)
{
    return name.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive) ||
           name.endsWith(QLatin1String(".html"), Qt::CaseInsensitive);
}

// The plain sentence of an error text, without the developer's report under it.
QString plainSentence(const QString &text)
{
    const QString marker = QStringLiteral("Error Msg: ");
    const int at = text.indexOf(marker);
    const QString plain = (at < 0 ? text : text.left(at)).trimmed();
    if (!plain.isEmpty())
        return plain;
    return text.mid(at + marker.size()).section('\n', 0, 0).trimmed();
}

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

// Long enough to type the keyring's own password into its prompt.
constexpr int kKeyringTimeoutMs = 120000;

} // namespace

FrmUploadInfo::FrmUploadInfo(QWidget *parent, std::unique_ptr<UploadEngine> engine)
    : QDialog(parent), m_ui(std::make_unique<Ui::FrmUploadInfo>()),
      m_engine(engine ? std::move(engine) : std::make_unique<UploadEngine>()),
      m_keyring(DesktopKeyring(kKeyringTimeoutMs))
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
    connect(m_ui->cmdTestConnection, &QPushButton::clicked, this, &FrmUploadInfo::cmdTestConnection_Click);
    connect(m_ui->cmdSave, &QPushButton::clicked, this, &FrmUploadInfo::cmdSave_Click);
    connect(m_ui->cmdVersions, &QPushButton::clicked, this, &FrmUploadInfo::cmdVersions_Click);
    // The port box shows the chosen protocol's own port when left empty.
    connect(m_ui->cboProtocol, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_ui->txtServerPort->setPlaceholderText(index == 2 ? "22" : "21"); });
    connect(m_ui->cboProtocol, &QComboBox::currentIndexChanged, this, &FrmUploadInfo::showProtocolFields);
    showProtocolFields(m_ui->cboProtocol->currentIndex());

    m_engine->setRemovalConfirmation([this](const QStringList &remote) {
        return platform::dialogs().message(
                   QStringLiteral("%1 files on the server are no longer used:\n%2\n\nRemove them?")
                       .arg(remote.size())
                       .arg(remote.mid(0, 20).join('\n')),
                   platform::kAppTitle, platform::Buttons::YesNo, platform::Icon::Question,
                   this) == platform::Answer::Yes;
    });
    m_engine->setDirectConfirmation([this] {
        return platform::dialogs().message(
                   QStringLiteral("The server refuses to rename files, so a file cannot arrive whole under a "
                                  "temporary name before it replaces the old one.\n\nReplace the files in "
                                  "place? A visitor could get half a page while it is being sent."),
                   platform::kAppTitle, platform::Buttons::YesNo, platform::Icon::Warning,
                   this) == platform::Answer::Yes;
    });
    connect(m_engine.get(), &UploadEngine::status, this, [this](const QString &line) { setStatus(line); });
    connect(m_engine.get(), &UploadEngine::progress, this,
            [this](int filesDone, int filesTotal, qint64 bytesDone, qint64 bytesTotal, const QString &) {
                QProgressBar *bar = m_ui->prgUpload;
                bar->setValue(bytesTotal > 0 ? int(qMin(bytesDone, bytesTotal) * bar->maximum() / bytesTotal)
                                             : 0);
                bar->setFormat(tr("%1 of %2 files").arg(filesDone).arg(filesTotal));
            });

    // The window holds the saved password, or the one typed in.
    HoldingPassword();
    loadSettings();
    m_ui->txtStatus->clear();
    readSavedPassword();
    m_saved = std::make_unique<Target>();
    if (!readServer(*m_saved))
        m_saved->port = -1; // no port to match: the saved password serves nothing
    m_saved->password = m_ui->txtPassword->text();
    for (QLineEdit *box : {m_ui->txtServerName, m_ui->txtServerPort, m_ui->txtUserId})
        connect(box, &QLineEdit::textChanged, this, &FrmUploadInfo::bindSavedPassword);
    connect(m_ui->cboProtocol, &QComboBox::currentIndexChanged, this, &FrmUploadInfo::bindSavedPassword);
}

// The saved password belongs to the saved protocol, server, port and user: it leaves
// the box when any of them changes and comes back with them. A password typed in
// stays.
void FrmUploadInfo::bindSavedPassword()
{
    if (m_saved->password.isEmpty())
        return;
    Target now;
    const bool serves = readServer(now) && SavedPasswordServes(*m_saved, now);
    const QString typed = m_ui->txtPassword->text();
    if (!serves && typed == m_saved->password)
        m_ui->txtPassword->clear();
    else if (serves && typed.isEmpty())
        m_ui->txtPassword->setText(m_saved->password);
}

// A saved password the file does not hold is in the keyring.
void FrmUploadInfo::readSavedPassword()
{
    Target saved;
    if (!m_ui->txtPassword->text().isEmpty() || m_storage == PasswordStorage::Ask || !readServer(saved) ||
        saved.host.trimmed().isEmpty())
        return;
    // Where no keyring answers, saving says so and asks where the password goes.
    const SecretResult found = m_keyring->read(PasswordKey(saved));
    if (found.status == SecretStatus::Ok)
        m_ui->txtPassword->setText(found.secret);
}

// S3-compatible storage names the same boxes otherwise and wants a bucket and a
// region; its endpoint carries the port.
void FrmUploadInfo::showProtocolFields(int index)
{
    const bool s3 = Protocol(index) == Protocol::S3;
    m_ui->lblServerName->setText(s3 ? tr("Endpoint") : tr("Remote Server"));
    m_ui->lblUserId->setText(s3 ? tr("Access Key") : tr("User Id"));
    m_ui->lblPassword->setText(s3 ? tr("Secret") : tr("Password"));
    m_ui->lblRemoteDir->setText(s3 ? tr("Key Prefix") : tr("Remote Directory"));
    m_ui->txtServerName->setPlaceholderText(s3 ? QStringLiteral("https://s3.example.com") : QString());
    for (QWidget *w :
         {static_cast<QWidget *>(m_ui->lblServerPort), static_cast<QWidget *>(m_ui->txtServerPort)})
        w->setVisible(!s3);
    for (QWidget *w : {static_cast<QWidget *>(m_ui->txtBucket), static_cast<QWidget *>(m_ui->txtRegion),
                       static_cast<QWidget *>(m_ui->chkPathStyle)})
        w->setVisible(s3);
}

bool FrmUploadInfo::readServer(Target &target) const
{
    const QString portText = m_ui->txtServerPort->text().trimmed();
    bool numeric = portText.isEmpty();
    const uint port = portText.isEmpty() ? 0 : portText.toUInt(&numeric);
    target.protocol = Protocol(qMax(0, m_ui->cboProtocol->currentIndex()));
    target.host = m_ui->txtServerName->text();
    target.port = int(port);
    target.user = m_ui->txtUserId->text();
    target.region = m_ui->txtRegion->text().trimmed();
    target.bucket = m_ui->txtBucket->text().trimmed();
    target.pathStyle = m_ui->chkPathStyle->isChecked();
    if (target.protocol == Protocol::S3) {
        target.port = 0; // the endpoint's
        return true;
    }
    return numeric && port <= 65535;
}

FrmUploadInfo::~FrmUploadInfo() = default;

void FrmUploadInfo::loadSettings()
{
    const SavedTarget saved = SavedTarget::load(SavedTarget::defaultPath());
    m_ui->txtServerName->setText(saved.target.host);
    m_ui->txtServerPort->setText(saved.portText);
    m_ui->txtUserId->setText(saved.target.user);
    m_ui->txtPassword->setText(saved.target.password);
    m_ui->txtRemoteDir->setText(saved.target.remoteFolder);
    m_ui->txtWebAddress->setText(saved.target.webAddress);
    m_ui->txtRegion->setText(saved.target.region);
    m_ui->txtBucket->setText(saved.target.bucket);
    m_ui->chkPathStyle->setChecked(saved.target.pathStyle);
    m_ui->cboProtocol->setCurrentIndex(int(saved.target.protocol));
    m_ui->chkOnlyChanged->setChecked(saved.onlyChanged);
    m_storage = saved.storage;
    m_ui->chkActiveMode->setChecked(saved.target.activeMode);
    m_ui->spnConnections->setValue(saved.connections);
    m_ui->lstFiles->clear();
    for (const SavedFile &file : saved.files)
        addRow(file.name, file.path); // unticked, as rows restored from the file always were
}

void FrmUploadInfo::saveSettings()
{
    SavedTarget saved;
    readServer(saved.target);
    saved.portText = m_ui->txtServerPort->text();
    saved.target.password = m_ui->txtPassword->text();
    saved.target.remoteFolder = m_ui->txtRemoteDir->text();
    saved.target.webAddress = m_ui->txtWebAddress->text();
    saved.onlyChanged = m_ui->chkOnlyChanged->isChecked();
    saved.target.activeMode = m_ui->chkActiveMode->isChecked();
    saved.connections = m_ui->spnConnections->value();
    saved.keepVersions = SavedTarget::load(SavedTarget::defaultPath()).keepVersions; // no box of its own
    for (int i = 0; i < m_ui->lstFiles->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *row = m_ui->lstFiles->topLevelItem(i);
        saved.files.push_back({row->text(0), row->text(1)});
    }
    // The keyring and the question where there is none wait in event loops.
    std::optional<BusyScope> scope;
    if (!m_busy)
        scope.emplace([this](bool b) { setBusy(b); });
    saved.store(SavedTarget::defaultPath(), *m_keyring, &platform::dialogs(), this);
    m_storage = saved.storage;
}

void FrmUploadInfo::closeEvent(QCloseEvent *event)
{
    // An upload must finish (or be cancelled) first.
    if (m_busy) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void FrmUploadInfo::cmdSave_Click()
{
    saveSettings();
}

QTreeWidgetItem *FrmUploadInfo::addRow(const QString &name, const QString &path)
{
    auto *item = new QTreeWidgetItem(m_ui->lstFiles, QStringList{name, path});
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
    return item;
}

void FrmUploadInfo::AddFilesToList(const QString &listPath)
{
    const QString suffix = QStringLiteral(".files");
    const QString page = listPath.endsWith(suffix) ? listPath.chopped(suffix.size()) : QString();
    SiteFiles listed;
    QStringList lines;
    if (QFileInfo(listPath).isFile()) {
        listed = ReadFilesList(listPath, ProgramOwnFiles());
        if (!QFileInfo(listPath).isReadable())
            lines << QStringLiteral("The file list %1 cannot be read.").arg(listPath);
    } else if (QFileInfo(page).isFile()) {
        listed = PageAndReferences(page, check::LocalReferences(page), ProgramOwnFiles());
    } else {
        lines << QStringLiteral("Save the page first: only a saved page and its files can be listed.");
    }
    m_ui->lstFiles->clear();
    // Ticked: the tick is what Upload Selected sends.
    for (const SiteFile &f : listed.files)
        addRow(f.remote, f.local)->setCheckState(0, Qt::Checked);
    for (const SiteSkip &skip : listed.skipped)
        lines << QStringLiteral("Not in the list: %1 (%2)").arg(skip.path, skip.reason);
    setStatus(lines.join('\n'));
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
                                                          platform::userDataFolder(), this);
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
    if (m_busy) {
        m_engine->cancel();
        setStatus(QStringLiteral("Stopping after the current file..."));
        return;
    }
    reject();
}

void FrmUploadInfo::setStatus(const QString &text)
{
    QString plain = text;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_ui->txtStatus->setPlainText(plain);
}

// The box says what went wrong in a sentence; the report for whoever looks into it
// stays in the status box.
void FrmUploadInfo::ShowUploadError(const QString &text)
{
    setStatus(text);
    platform::dialogs().message(plainSentence(text), platform::kAppTitle, platform::Buttons::Ok,
                                platform::Icon::Critical, this);
}

// Every control but Cancel is off during a publish; Cancel then stops it.
void FrmUploadInfo::setBusy(bool busy)
{
    m_busy = busy;
    if (busy) {
        m_disabled.clear();
        for (QWidget *w : findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (w != m_ui->cmdCancel && w->isEnabled()) {
                w->setEnabled(false);
                m_disabled << w;
            }
        }
    } else {
        for (QWidget *w : std::as_const(m_disabled))
            w->setEnabled(true);
        m_disabled.clear();
    }
}

// The connection settings from the boxes; false (with a message) when the port
// box holds no usable number. An empty box takes the protocol's own port.
bool FrmUploadInfo::readTarget(Target &target)
{
    if (!readServer(target)) {
        platform::msgBox(QStringLiteral("Please enter a server port number between 0 and 65535 "
                                        "(0 or nothing for the protocol's standard port)."),
                         this);
        m_ui->txtServerPort->setFocus();
        return false;
    }
    target.password = m_ui->txtPassword->text();
    target.remoteFolder = m_ui->txtRemoteDir->text();
    target.webAddress = m_ui->txtWebAddress->text().trimmed();
    target.activeMode = m_ui->chkActiveMode->isChecked();
    return askPasswordIfNeeded(target);
}

// Settings that keep no password ask for it on connecting; cancelled, nothing connects.
bool FrmUploadInfo::askPasswordIfNeeded(Target &target)
{
    if (m_storage != PasswordStorage::Ask || !target.password.isEmpty())
        return true;
    const std::optional<QString> typed = platform::dialogs().askPassword(
        platform::kAppTitle, QStringLiteral("Password for %1:").arg(PasswordKey(target)), this);
    if (!typed)
        return false;
    m_ui->txtPassword->setText(*typed);
    target.password = *typed;
    return true;
}

void FrmUploadInfo::cmdTestConnection_Click()
{
    Target target;
    if (m_busy || !readTarget(target))
        return;
    BusyScope scope([this](bool b) { setBusy(b); });
    m_ui->cmdCancel->setEnabled(false);
    setStatus(QStringLiteral("Connecting to %1...").arg(target.host));
    bool ok = false;
    const QString line = m_engine->testConnection(target, m_timeOut, &ok);
    m_ui->cmdCancel->setEnabled(true);
    setStatus(line);
    if (ok)
        saveSettings();
}

void FrmUploadInfo::cmdVersions_Click()
{
    Target target;
    if (m_busy || !readTarget(target))
        return;
    const QVector<Version> versions = VersionStore().list(target);
    if (versions.isEmpty()) {
        platform::msgBox(QStringLiteral("No versions are kept for this server yet: each publish that goes "
                                        "through whole adds one."),
                         this);
        return;
    }
    // Not modal: it is answered, or closed, while the window goes on.
    delete findChild<FrmVersions *>(QString(), Qt::FindDirectChildrenOnly);
    auto *dialog = new FrmVersions(
        versions, [this](int back) { upload({}, false, back); }, this);
    dialog->open();
}

void FrmUploadInfo::cmdUploadAll_Click()
{
    QList<QTreeWidgetItem *> rows;
    for (int i = 0; i < m_ui->lstFiles->topLevelItemCount(); ++i)
        rows << m_ui->lstFiles->topLevelItem(i);
    upload(rows, false);
}

void FrmUploadInfo::cmdUploadCheck_Click()
{
    QList<QTreeWidgetItem *> ticked;
    for (int i = 0; i < m_ui->lstFiles->topLevelItemCount(); ++i) {
        if (m_ui->lstFiles->topLevelItem(i)->checkState(0) == Qt::Checked)
            ticked << m_ui->lstFiles->topLevelItem(i);
    }
    // Highlighted rows are not ticked rows: say so rather than send nothing.
    if (ticked.isEmpty()) {
        platform::msgBox(QStringLiteral("Tick the files to send first."), this);
        return;
    }
    upload(ticked, true);
}

void FrmUploadInfo::upload(const QList<QTreeWidgetItem *> &list, bool selectedOnly, int rollBack)
{
    QStringList paths;
    QVector<Row> rows;
    for (const QTreeWidgetItem *item : list) {
        const QString path = item->text(1);
        paths << path;
        // A file keeps the path below the page's folder that its row shows.
        const bool named = item->text(0).section('/', -1) == QFileInfo(path).fileName();
        rows.push_back({path, QFileInfo(path).isDir(), named ? item->text(0) : QString()});
    }
    Target target;
    if (m_busy || !pagesReadyToSend(paths, this) || !readTarget(target))
        return;
    BusyScope scope([this](bool b) { setBusy(b); });
    m_uploadError.clear();
    m_ui->prgUpload->setValue(0);
    m_ui->prgUpload->setFormat(QString());
    m_ui->lblLiveAddress->clear();

    Options options;
    options.onlyChanged = m_ui->chkOnlyChanged->isChecked();
    options.dryRun = m_ui->chkDryRun->isChecked();
    // Rows not ticked are still part of the site: only a whole publish removes.
    options.removeUnused = m_ui->chkRemoveUnused->isChecked() && !selectedOnly;
    options.timeoutSeconds = m_timeOut;
    options.manifestFolder = platform::manifestFolder();
    options.hashCache = HashCache::defaultPath();
    options.connections = m_ui->spnConnections->value();
    VersionStore versions;
    if (rollBack < 0 && !options.dryRun) {
        options.readWhole = [&versions](const QByteArray &hash, const QByteArray &bytes) {
            versions.copyAhead(hash, bytes);
        };
        options.readAll = [&versions] { versions.noMoreCopies(); };
    }
    const int keep = SavedTarget::load(SavedTarget::defaultPath()).keepVersions;
    QString notRecorded;
    Summary summary = rollBack >= 0
                          ? Rollback(*m_engine, versions, target, rollBack, options, keep, &notRecorded)
                          : m_engine->run(rows, target, options);
    if (rollBack >= 0 && !notRecorded.isEmpty())
        summary.error = notRecorded; // nothing was sent
    else if (!options.dryRun && rollBack < 0)
        notRecorded = versions.record(target, summary, keep, options.manifestFolder);
    // Settings that reached the server are worth keeping.
    if (summary.connected)
        saveSettings();

    if (!summary.error.isEmpty()) {
        m_uploadError = summary.error;
        ShowUploadError(summary.error);
    }
    QSet<QString> shown{summary.error}; // a failure that ended the run has been shown already
    for (const FileResult &r : summary.files) {
        if (r.action != Action::Failed)
            continue;
        // One message for the pages held back, not one each.
        if (!shown.contains(r.error)) {
            shown.insert(r.error);
            // A file left out before sending names itself only in its path.
            m_uploadError = r.remote.isEmpty() ? r.local + QStringLiteral("\r\n") + r.error : r.error;
            ShowUploadError(m_uploadError);
        }
    }

    if (options.dryRun) {
        QStringList lines;
        int wouldSend = 0;
        for (const FileResult &r : summary.files) {
            if (r.action == Action::WouldSend) {
                ++wouldSend;
                lines << QStringLiteral("Would send: ") + r.remote;
            }
        }
        for (const QString &remote : selectedOnly ? QStringList() : summary.noLongerUsed)
            lines << QStringLiteral("No longer used: ") + remote;
        lines.prepend(QStringLiteral("Dry run: %1 files would be sent, %2 are unchanged; nothing was sent.")
                          .arg(wouldSend)
                          .arg(summary.unchanged));
        if (summary.error.isEmpty())
            setStatus(lines.join('\n'));
        return;
    }
    if (summary.cancelled && m_uploadError.isEmpty()) {
        setStatus(
            QStringLiteral("Stopped after %1 files; the next publish sends the rest.").arg(summary.sent));
        return;
    }
    if (m_uploadError.isEmpty()) {
        QProgressBar *bar = m_ui->prgUpload;
        bar->setValue(bar->maximum());
        platform::msgBox(QStringLiteral("Upload Over"), this);
        if (!selectedOnly)
            setStatus(QStringLiteral("Upload Over"));
        for (const QString &folder : summary.createdFolders)
            setStatus(m_ui->txtStatus->toPlainText() + QStringLiteral("\ncreated ") + folder);
        reportLiveAddress(summary);
        if (!selectedOnly && !summary.noLongerUsed.isEmpty() && summary.removed.isEmpty()) {
            setStatus(m_ui->txtStatus->toPlainText() + QStringLiteral("\nNo longer used: ") +
                      summary.noLongerUsed.join(QStringLiteral(", ")));
        }
    } else if (selectedOnly) {
        platform::msgBox(QStringLiteral("Error Occured in uploading."), this);
    }
    if (!notRecorded.isEmpty() && summary.error.isEmpty())
        setStatus(m_ui->txtStatus->toPlainText() + QStringLiteral("\n") + notRecorded);
}

// Where the main page now lives, and whether it answers with what was sent.
void FrmUploadInfo::reportLiveAddress(const Summary &summary)
{
    const QString web = m_ui->txtWebAddress->text().trimmed();
    if (web.isEmpty())
        return;
    const FileResult *page = nullptr;
    for (const FileResult &r : summary.files) {
        if (isPage(r.remote) && (r.action == Action::Sent || r.action == Action::Unchanged)) {
            page = &r;
            break;
        }
    }
    if (!page)
        return;
    const QString address = LiveAddress(web, page->remote);
    m_liveAddress = address;
    m_ui->lblLiveAddress->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(address.toHtmlEscaped()));
    QString text = m_ui->txtStatus->toPlainText();
    text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + QStringLiteral("The page is at ") + address;
    setStatus(text + QStringLiteral("\nChecking it..."));
    const QString problem = CheckLiveAddress(address, page->bytes, 5000);
    setStatus(text + QStringLiteral("\n") +
              (problem.isEmpty() ? QStringLiteral("It answers with the page just sent.") : problem));
}

} // namespace publish
