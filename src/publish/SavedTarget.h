#pragma once
// The upload window's saved settings, ftpinfo.ini: the server, the options and the
// list of files and folders to send. Read and written only here, by the window and
// the command line alike.
//
// The file keeps the layout of a saved window (section "TEXT" keyed by the controls'
// names, section "lstFiles" for the list), so files of earlier versions load as they
// were. The protocol is stored as a key ("ftp", "ftps", "sftp", "s3"; S3 targets add
// "txtRegion", "txtBucket" and "chkPathStyle"); the visible texts
// that earlier versions stored ("FTP", "FTP with TLS", "SFTP") still load.
//
// The password lives in the desktop's keyring. The file holds one only where no
// keyring is available and the user chose to keep it there, or as an earlier version
// left it, until the keyring has taken it.

#include "publish/SecretStore.h"
#include "publish/UploadEngine.h"
#include "publish/VersionStore.h"

#include <QString>
#include <QVector>

class QWidget;

namespace platform {
class Dialogs;
}

namespace publish {

// Where the password goes when no keyring takes it: the user's answer, remembered in
// the file ("[Password] Storage"). Keyring: not asked yet.
enum class PasswordStorage { Keyring, File, Ask };

// The two answers to the question asked where no keyring is available.
inline const QString kKeepPasswordInFile =
    QStringLiteral("Keep the password in ftpinfo.ini (readable by you only)");
inline const QString kAskPasswordEachTime = QStringLiteral("Ask for it each time");

struct SavedFile {
    QString name; // as the list shows it
    QString path;
};

struct SavedTarget {
    Target target;    // the port as a number (0 = the protocol's own)
    QString portText; // the port box as typed, which may not be a number
    bool onlyChanged = true;
    int connections = kDefaultConnections; // files sent side by side (1-kMaxConnections)
    QVector<SavedFile> files;
    int keepVersions = kDefaultKeepVersions; // versions kept for going back (KeepVersions)
    PasswordStorage storage = PasswordStorage::Keyring;
    // save() writes target.password into the file; load() sets it when the file held one.
    bool passwordInFile = false;

    // userDataFolder()/ftpinfo.ini
    static QString defaultPath();
    // A missing or unreadable file gives the defaults.
    static SavedTarget load(const QString &path);
    // Readable by the owner only (it holds the password); through a temporary file and
    // a rename. False when it could not be written (the old file is then intact).
    bool save(const QString &path) const;

    // Saves with the password in the keyring: a password the file held leaves it only
    // once the keyring has confirmed that it holds it. Where no keyring is available,
    // the answer remembered in the file decides, else `dialogs` asks and the answer is
    // remembered; unanswered, the file keeps only the password it held. With no
    // `dialogs` (nobody to ask) the file is then left as it was, and false returned.
    bool store(const QString &path, SecretStore &keyring, platform::Dialogs *dialogs,
               QWidget *parent = nullptr);
};

QString ProtocolKey(Protocol protocol);
// The stored key, or an earlier version's visible text; anything else is FTP.
Protocol ProtocolFromKey(const QString &stored);

} // namespace publish
