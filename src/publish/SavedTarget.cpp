#include "publish/SavedTarget.h"

#include "platform/AppFolder.h"
#include "platform/Dialogs.h"
#include "platform/IniFile.h"
#include "store/Form.h"
#include "store/modReadWriteIni.h"

#include <utility>

namespace publish {

namespace {

const QString kText = QStringLiteral("TEXT");
const QString kProtocol = QStringLiteral("cboProtocol");
const QString kOnlyChanged = QStringLiteral("chkOnlyChanged");
const QString kPassword = QStringLiteral("Password");
const QString kStorage = QStringLiteral("Storage");
const QString kStorageKeys[] = {QStringLiteral("keyring"), QStringLiteral("file"), QStringLiteral("ask")};
const QString kActiveMode = QStringLiteral("chkActiveMode");
const QString kConnections = QStringLiteral("Connections");
const QString kRegion = QStringLiteral("txtRegion");
const QString kBucket = QStringLiteral("txtBucket");
const QString kPathStyle = QStringLiteral("chkPathStyle");
const QString kKeepVersions = QStringLiteral("KeepVersions");

// The window's stored controls, in its order: the keys a saved window has always had.
struct Form {
    store::MemoryForm form;
    store::MemoryTextBox &server = form.addTextBox(QStringLiteral("txtServerName"));
    store::MemoryTextBox &port = form.addTextBox(QStringLiteral("txtServerPort"));
    store::MemoryTextBox &user = form.addTextBox(QStringLiteral("txtUserId"));
    store::MemoryTextBox &password = form.addTextBox(QStringLiteral("txtPassword"));
    store::MemoryTextBox &folder = form.addTextBox(QStringLiteral("txtRemoteDir"));
    store::MemoryTextBox &web = form.addTextBox(QStringLiteral("txtWebAddress"));
    store::MemoryListView &files = form.addListView(
        QStringLiteral("lstFiles"), {QStringLiteral("File or Folder Name"), QStringLiteral("Path")});
};

} // namespace

QString ProtocolKey(Protocol protocol)
{
    switch (protocol) {
    case Protocol::FtpTls:
        return QStringLiteral("ftps");
    case Protocol::Sftp:
        return QStringLiteral("sftp");
    case Protocol::S3:
        return QStringLiteral("s3");
    case Protocol::Ftp:
        break;
    }
    return QStringLiteral("ftp");
}

Protocol ProtocolFromKey(const QString &stored)
{
    const QString key = stored.trimmed();
    if (key.compare(QLatin1String("s3"), Qt::CaseInsensitive) == 0)
        return Protocol::S3;
    if (key.compare(QLatin1String("sftp"), Qt::CaseInsensitive) == 0)
        return Protocol::Sftp;
    if (key.compare(QLatin1String("ftps"), Qt::CaseInsensitive) == 0 ||
        key.compare(QLatin1String("FTP with TLS"), Qt::CaseInsensitive) == 0)
        return Protocol::FtpTls;
    return Protocol::Ftp;
}

QString SavedTarget::defaultPath()
{
    return platform::userDataFolder() + QStringLiteral("/ftpinfo.ini");
}

SavedTarget SavedTarget::load(const QString &path)
{
    platform::IniFile ini;
    ini.load(path);
    Form f;
    store::LoadFormFrom(ini, f.form);
    SavedTarget s;
    s.target.protocol = ProtocolFromKey(ini.value(kText, kProtocol));
    s.target.host = f.server.value;
    s.portText = f.port.value;
    s.target.port = s.portText.trimmed().toInt();
    s.target.user = f.user.value;
    s.target.password = f.password.value;
    s.passwordInFile = !s.target.password.isEmpty();
    const QString storage = ini.value(kPassword, kStorage).trimmed().toLower();
    for (int i = 0; i < 3; ++i)
        if (storage == kStorageKeys[i])
            s.storage = PasswordStorage(i);
    s.target.remoteFolder = f.folder.value;
    s.target.webAddress = f.web.value;
    s.onlyChanged = ini.value(kText, kOnlyChanged) != QLatin1String("0");
    s.target.activeMode = ini.value(kText, kActiveMode) == QLatin1String("1");
    bool number = false;
    const int connections = ini.value(kText, kConnections).toInt(&number);
    s.connections = number ? qBound(1, connections, kMaxConnections) : kDefaultConnections;
    s.target.region = ini.value(kText, kRegion);
    s.target.bucket = ini.value(kText, kBucket);
    s.target.pathStyle = ini.value(kText, kPathStyle) != QLatin1String("0");
    const int keep = ini.value(kText, kKeepVersions).toInt(&number);
    s.keepVersions = number ? qBound(1, keep, kMaxKeepVersions) : kDefaultKeepVersions;
    for (const auto &row : f.files.rows)
        s.files.push_back({row.text, row.subItems.value(0)});
    return s;
}

bool SavedTarget::save(const QString &path) const
{
    platform::IniFile ini;
    if (!ini.load(path))
        return false; // an unreadable file is left alone rather than replaced
    Form f;
    f.server.value = target.host;
    f.port.value = portText;
    f.user.value = target.user;
    if (passwordInFile)
        f.password.value = target.password;
    f.folder.value = target.remoteFolder;
    f.web.value = target.webAddress;
    for (const SavedFile &file : files)
        f.files.rows.push_back({file.name, {file.path}});
    store::SaveFormTo(ini, f.form);
    ini.setValue(kText, kProtocol, ProtocolKey(target.protocol));
    ini.setValue(kText, kOnlyChanged, onlyChanged ? QStringLiteral("1") : QStringLiteral("0"));
    ini.setValue(kPassword, kStorage, kStorageKeys[int(storage)]);
    ini.setValue(kText, kActiveMode, target.activeMode ? QStringLiteral("1") : QStringLiteral("0"));
    ini.setValue(kText, kConnections, QString::number(qBound(1, connections, kMaxConnections)));
    // Only an S3 target adds its keys: files of FTP targets stay as they were.
    if (target.protocol == Protocol::S3 || !ini.value(kText, kBucket).isEmpty()) {
        ini.setValue(kText, kRegion, target.region.simplified());
        ini.setValue(kText, kBucket, target.bucket.simplified());
        ini.setValue(kText, kPathStyle, target.pathStyle ? QStringLiteral("1") : QStringLiteral("0"));
    }
    if (keepVersions != kDefaultKeepVersions || !ini.value(kText, kKeepVersions).isEmpty())
        ini.setValue(kText, kKeepVersions, QString::number(keepVersions));
    return ini.save(path, platform::IniFile::Access::OwnerOnly);
}

bool SavedTarget::store(const QString &path, SecretStore &keyring, platform::Dialogs *dialogs,
                        QWidget *parent)
{
    const SavedTarget before = load(path);
    storage = before.storage;
    passwordInFile = false;
    if (target.password.isEmpty())
        return save(path);
    const SecretResult written = keyring.write(PasswordKey(target), target.password);
    if (written.status == SecretStatus::Ok) {
        // Should the keyring go away again, the question is asked again.
        storage = PasswordStorage::Keyring;
        return save(path);
    }
    if (!dialogs)
        return false; // nobody to ask: the file stays as it was
    if (storage == PasswordStorage::Keyring) {
        const QString question =
            QStringLiteral("No keyring is available to keep the password of %1 safe (%2).\n\n"
                           "Where should Quillmark keep it?")
                .arg(PasswordKey(target), written.reason);
        const int answer =
            dialogs->choose(question, platform::kAppTitle, {kKeepPasswordInFile, kAskPasswordEachTime},
                            platform::Icon::Warning, parent);
        if (answer == 0)
            storage = PasswordStorage::File;
        else if (answer == 1)
            storage = PasswordStorage::Ask;
    }
    if (storage != PasswordStorage::Keyring) {
        passwordInFile = storage == PasswordStorage::File;
        return save(path);
    }
    // Unanswered, the file keeps the password it held, and takes no new one.
    passwordInFile = before.passwordInFile;
    const QString typed = std::exchange(target.password, before.target.password);
    const bool saved = save(path);
    target.password = typed;
    return saved;
}

} // namespace publish
