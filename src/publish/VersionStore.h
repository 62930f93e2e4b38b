#pragma once
// Versions of what was published to each server, for going back to an earlier one.
//
// Each publish that went through whole records the files the server then held for the
// run's rows (sent and unchanged alike), and a copy of each file under its content
// hash. Copies are shared by every version and every server, so ten versions of a site
// with the same pictures hold one copy of each picture. The newest versions of a
// server are kept (10 unless set otherwise); copies no version names any more are
// removed when versions are dropped.
//
// On disk, in the versions folder beside the manifests:
//   blobs/ab/abcdef...    a file's bytes, named by their SHA-1 (as the manifests name them)
//   packs/NAME.pack       the copies one publish handed over while it sent, one after
//                         another in one file (a first publish makes one file, not one
//                         a copy); a copy is held when either holds it
//   SERVER/ID.version     one version (SERVER: the key of the server's manifest)
//   SERVER/newest.note    what the newest version names, to compare with cheaply; a
//                         note that does not match its version is not used
// Every file is written under a temporary name and renamed into place, copies before
// the version naming them, so a version never names a copy that is not whole.

#include "publish/UploadEngine.h"

#include <QDateTime>
#include <QIODevice>
#include <QString>
#include <QVector>
#include <memory>

namespace publish {

constexpr int kDefaultKeepVersions = 10;
constexpr int kMaxKeepVersions = 1000;

struct VersionFile {
    QString remote; // below the remote folder, "/" between folders
    qint64 size = 0;
    QByteArray hash; // SHA-1, lower-case hex
    QString local;   // where it was read from when it was published
};

struct Version {
    QString id;
    QDateTime time; // UTC
    QVector<VersionFile> files;
    qint64 bytes() const;
};

// The text of a version file, and back. Parsing never fails on bad input: false
// means the text is not a usable version (remote paths leading out of the folder,
// hashes that are not SHA-1, no files).
QByteArray FormatVersion(const Version &version);
bool ParseVersion(const QByteArray &text, Version &version);

// One copy in a pack: its hash, and where its bytes lie in the pack.
struct PackEntry {
    QByteArray hash;
    qint64 offset = 0;
    qint64 size = 0;
};
// The copies a pack of `size` bytes names, up to the first entry that cannot be read
// whole (what follows a damaged entry counts as not held).
QVector<PackEntry> ReadPackEntries(QIODevice &pack, qint64 size);

class VersionStore {
public:
    explicit VersionStore(QString folder = defaultFolder());
    ~VersionStore();
    VersionStore(const VersionStore &) = delete;
    VersionStore &operator=(const VersionStore &) = delete;
    // The user data folder's versions/.
    static QString defaultFolder();
    QString folder() const { return m_folder; }

    // The versions kept for `target`, newest first. A version that cannot be read or
    // names a missing copy is left out.
    QVector<Version> list(const Target &target) const;

    // Records what a publish left on the server, when it went through whole (nothing
    // failed, nothing stopped, not a dry run) and differs from the newest version.
    // Returns "" when recorded or nothing was to be recorded, else one sentence. With
    // the run's manifest folder, files whose copy is held already are not read again.
    QString record(const Target &target, const Summary &summary, int keep = kDefaultKeepVersions,
                   const QString &manifestFolder = QString());
    // Stores the copy of `bytes`, whose SHA-1 (hex) is `hash`, in the background while
    // a publish sends, so that recording finds it held; from any thread. Copies of a
    // publish that fails stay until a later recording drops them as unused. Skipped
    // while another Quillmark writes to the store.
    void copyAhead(const QByteArray &hash, const QByteArray &bytes);
    // No copyAhead() follows: the copies reach the disk and their names in the
    // background, while the files go; later ones are left to recording.
    void noMoreCopies();
    // Waits for the copies under way; record() and recordFiles() do so first.
    void finishCopies();

    // Records `files` (whose copies are held already) as the newest version.
    QString recordFiles(const Target &target, const QVector<VersionFile> &files, int keep);

    // Writes the files of `version` below `folder`, each at its remote path, checking
    // every copy against its hash. "" on success, else one sentence.
    QString materialise(const Version &version, const QString &folder) const;

    QString blobPath(const QByteArray &hash) const;

private:
    struct PackIndex; // where each copy in a pack lies
    PackIndex readPacks() const;
    bool holds(const PackIndex &packs, const QByteArray &hash, qint64 size) const;
    QString targetFolder(const Target &target) const;
    // Reads, hashes and stores the copy of `f` (its hash set on the way); "" or why not.
    // `expected`: the hash the manifest names, "" when none.
    QString copyFile(VersionFile &f, const QByteArray &expected, const PackIndex &packs) const;
    // The versions kept, as list(), with the packs read already; only the newest
    // when `newestOnly`.
    QVector<Version> list(const Target &target, const PackIndex &packs, bool newestOnly) const;
    // `checked`: the packs read under the lock held now, by a caller that saw every
    // copy held just now; null to read them and check here.
    QString addVersion(const Target &target, const QVector<VersionFile> &files, int keep,
                       const PackIndex *checked);
    // `packs`: read under the lock held now.
    void prune(const QString &targetFolder, int keep, const PackIndex &packs);
    QString m_folder;
    class Copier;
    std::unique_ptr<Copier> m_copier;
};

// A roll-back: sends the version `back` versions before the newest one (1 = the one
// before; 0 sends the newest again) as an ordinary publish, with `options`, and records it as the newest
// version. `error` says why nothing could be sent (no such version, a damaged copy).
Summary Rollback(UploadEngine &engine, VersionStore &store, const Target &target, int back,
                 const Options &options, int keep, QString *error);

} // namespace publish
