#pragma once
// Publishing without a window: walks the rows, decides from a manifest per target
// and one listing per remote folder what must go, sends each file under a
// temporary name and renames it into place, reads the sizes back, and reports
// progress and results. The manifest names only files the server was seen to hold.

#include "publish/transport/Transport.h"

#include <QHash>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>

namespace publish {

enum class Protocol { Ftp, FtpTls, Sftp, S3 };

// For S3-compatible storage the host is the endpoint ("https://host[:port]"; empty =
// AWS in the region), the user the access key, the password the secret and the remote
// folder the key prefix.
struct Target {
    Protocol protocol = Protocol::Ftp;
    QString host;
    int port = 0; // 0 = protocol default (21, 21, 22; S3: the endpoint's)
    QString user, password;
    QString remoteFolder;    // "" = the login folder
    QString webAddress;      // "Web address of the remote folder", may be empty
    QString caCertificates;  // extra trust anchors (PEM) for TLS; empty = the system's
    QString region, bucket;  // S3 only
    bool pathStyle = true;   // S3: "endpoint/bucket/key" rather than "bucket.endpoint/key"
    bool activeMode = false; // FTP: the server opens the data connections (PORT/EPRT)
};

struct Row {
    Row(QString path = {}, bool folder = false, QString remotePath = {})
        : localPath(std::move(path)), isFolder(folder), remote(std::move(remotePath))
    {
    }
    QString localPath;
    bool isFolder = false;
    QString remote; // a file's path below the remote folder; "" or a path leading out = its own name
};

// Files sent side by side: the default, and the most a run opens.
constexpr int kDefaultConnections = 3;
constexpr int kMaxConnections = 8;

struct Options {
    bool onlyChanged = true; // "Send only changed files"
    bool dryRun = false;
    bool removeUnused = false;             // remove files sent earlier that are no longer among the rows
    bool includeHidden = false;            // send hidden files and folders of folder rows (".env", ".git")
    int timeoutSeconds = 0;                // 0 = default
    QString manifestFolder;                // where per-target manifests live
    QString hashCache;                     // the cache of local files' hashes (HashCache); "" = none
    bool allowDirect = false;              // a server that cannot rename gets files under their own names
    int connections = kDefaultConnections; // files sent side by side (1-kMaxConnections)
    bool failedBefore = false;             // a file the pages may need was left out: pages replacing
                                           // live ones are held back, as after a file that failed
    // The least time between two confirmations of the files sent so far: files sent
    // more quickly than this cost little to send again after a stopped run.
    int confirmAfterMs = 1000;
    // Called, on the thread that reads the files, with the bytes a file is published
    // with and their SHA-1 (hex) when it was read whole (a page, a file up to 1 MB):
    // a version store keeps its copies while the files go.
    std::function<void(const QByteArray &hash, const QByteArray &bytes)> readWhole;
    // Called on that thread once every file was read: no readWhole call follows.
    std::function<void()> readAll;
};

// Skipped: left out on purpose (a hidden file, a link out of the folder); files that
// must never be sent, or could not be read, are Failed.
enum class Action { Sent, Unchanged, Failed, WouldSend, Skipped };

struct FileResult {
    QString local;
    QString remote;
    Action action = Action::Unchanged;
    QString error;
    qint64 bytes = 0;
    QByteArray hash{}; // sent or unchanged: the SHA-1 (hex) of what the server holds
};

struct Summary {
    int sent = 0, unchanged = 0, failed = 0;
    bool cancelled = false;
    QVector<FileResult> files;
    QStringList noLongerUsed;   // remote paths
    QString error;              // plain first sentence + report, when the run failed as a whole
    QStringList removed;        // remote paths removed as no longer used
    bool renameRefused = false; // stopped: the server cannot rename and sending in place was not allowed
    bool connected = false;     // logged in and into the remote folder
    QStringList createdFolders; // remote folders the server lacked and this run made, as given
};

// One remote entry of a folder listing.
struct RemoteEntry {
    QString name;
    qint64 size = -1; // -1 = unknown
    bool isFolder = false;
};

// Parses MLSD facts lines, Unix-style and MS-DOS-style LIST lines and bare NLST
// names, one per line. Lines it cannot read, "." and ".." are left out; so is every
// name that is not a plain file name, which goes to `refused`. Never fails.
QVector<RemoteEntry> ParseListing(const QString &listing, QStringList *refused = nullptr);

// A name that stays inside its folder: not empty, not "." or "..", no "/" or "\",
// no NUL or other control character.
bool IsPlainName(const QString &name);

// Remote files are sent under this prefix and renamed into place.
inline const QString kTemporaryPrefix = QStringLiteral("~quillmark-part-");

// "12 of 300 files, 240 KB of 5.9 MB, 1.2 MB/s, about 5 s left"; the time is left out
// when unknown (-1).
QString ProgressLine(int filesDone, int filesTotal, qint64 bytesDone, qint64 bytesTotal,
                     qint64 bytesPerSecond, int secondsLeft);

// One sentence a person understands for a transport failure.
QString PlainFailure(int transportCode, const Target &target);

class UploadEngine : public QObject {
    Q_OBJECT
public:
    // Without a factory the engine makes libcurl transports.
    explicit UploadEngine(std::function<std::unique_ptr<transport::Transport>()> transportFactory = {},
                          QObject *parent = nullptr);
    ~UploadEngine() override;

    Summary run(const QVector<Row> &rows, const Target &target,
                const Options &options); // waits, processing events
    void cancel();                       // stops after the files under way

    // Logs in and changes into the remote folder; one line saying how it went.
    // `ok` tells success apart.
    QString testConnection(const Target &target, int timeoutSeconds = 0, bool *ok = nullptr);

    // Asked before more than 10 files no longer used are removed; without it they are.
    void setRemovalConfirmation(std::function<bool(const QStringList &)> confirm)
    {
        m_confirmRemoval = std::move(confirm);
    }

    // Asked when the server refuses to rename, before anything is replaced: true sends
    // the files under their own names. Without it (and without Options::allowDirect)
    // the run stops there.
    void setDirectConfirmation(std::function<bool()> confirm) { m_confirmDirect = std::move(confirm); }

    // Where the manifest of a target lives inside a manifest folder.
    static QString manifestPath(const QString &manifestFolder, const Target &target);

signals:
    void progress(int filesDone, int filesTotal, qint64 bytesDone, qint64 bytesTotal,
                  const QString &currentFile);
    // Once a file; once more, as failed, when reading the sizes back shows the server
    // did not keep a file it said it kept.
    void fileDone(const publish::FileResult &result);
    void status(const QString &line);
    // While files go: bytes a second so far and the seconds still needed (-1 = unknown).
    void transferRate(qint64 bytesPerSecond, int secondsLeft);

private:
    class Run;
    std::function<std::unique_ptr<transport::Transport>()> m_factory;
    std::function<bool(const QStringList &)> m_confirmRemoval;
    std::function<bool()> m_confirmDirect;
    bool m_cancel = false;
    bool m_running = false;
    Protocol m_protocol = Protocol::Ftp; // of the target at hand: the default factory's choice
};

// Rows for a page: the files its ".files" dependency list names (and the page itself).
// Lines left out (missing, outside the page's folder, the program's own files) are
// added to `leftOut` as failed results.
QVector<Row> RowsForPage(const QString &pagePath, QVector<FileResult> *leftOut = nullptr);

// Rows for a page without a list: the page, then the local files it refers to
// (`references`, absolute paths), each under its path below the page's folder, as
// the upload window lists them. References it may not send go to `leftOut` as RowsForPage's.
QVector<Row> RowsForPageAndReferences(const QString &pagePath, const QStringList &references,
                                      QVector<FileResult> *leftOut = nullptr);

// Whether the password saved for `saved` may go to `target`: the same protocol,
// host, port and user.
bool SavedPasswordServes(const Target &saved, const Target &target);
// The keyring's key of a target's password: the protocol, host, port and user that
// SavedPasswordServes compares ("sftp://me@example.com:22").
QString PasswordKey(const Target &target);

// Keeps a password out of core dumps and other processes' reach (ptrace, /proc/PID/mem).
// Stays in force for the rest of the process.
void HoldingPassword();

// Checks a published page over HTTP: a 200 answer with `expectedSize` bytes.
// Returns "" when it answers so, else one sentence saying what came back.
QString CheckLiveAddress(const QString &url, qint64 expectedSize, int timeoutMs = 5000);

// A manifest as it stands: remote path -> size and SHA-1 (hex) of what the server holds.
QHash<QString, QPair<qint64, QByteArray>> ReadManifest(const QString &path);

// The web address of a remote path under the "Web address of the remote folder".
QString LiveAddress(const QString &webAddress, const QString &remotePath);

} // namespace publish
