#pragma once
// What each local file held when a publish last read it, so that a file that has not
// changed since is not read and hashed again.
//
// A file counts as unchanged only while its size, modification and change times (to
// the nanosecond), inode and device all stay as they were. The change time cannot be
// set back by anyone but the system clock, so a file rewritten with the same size and
// its modification time put back is still read again. A file changed within a few
// seconds of being read is not remembered at all: a timestamp of that age may not
// yet tell a later change apart (coarse clocks, file systems that keep seconds).
//
// The file is a cache, not a record: one that is missing, damaged or written by
// something else only means every file is read again. It lives in the data folder,
// apart from the manifests (which tools read one by one):
//   Quillmark local file hashes 1
//   SIZE MTIME CTIME INODE DEVICE SENT-SIZE SHA-1 USED-DAY PATH   (tab-separated)
//   end COUNT
// MTIME and CTIME in nanoseconds, PATH percent-encoded, SENT-SIZE the size of what is
// published (a page without its template's block markers), USED-DAY the day (since
// 1970) the entry was last used.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <sys/stat.h>

namespace publish {

// A SHA-1 as the program stores it: 40 lower-case hex digits.
bool IsStoredHash(const QByteArray &hash);

struct FileStamp {
    qint64 size = -1;
    qint64 modifiedNs = 0, changedNs = 0;
    quint64 inode = 0, device = 0;
    bool operator==(const FileStamp &o) const
    {
        return size == o.size && modifiedNs == o.modifiedNs && changedNs == o.changedNs && inode == o.inode &&
               device == o.device;
    }
    bool operator!=(const FileStamp &o) const { return !(*this == o); }
};

// The stamp of the file `path` leads to (links followed); false when it is not a file
// that can be looked at.
bool StampOf(const QString &path, FileStamp &stamp);
// The stamp `st` (from stat or lstat of a regular file) holds.
void StampFromStat(const struct stat &st, FileStamp &stamp);

// The wall clock in nanoseconds since 1970, as file times count.
qint64 NowNs();

struct CachedHash {
    FileStamp stamp;
    qint64 sentSize = 0;
    QByteArray hash; // SHA-1 of what is published, lower-case hex
    qint64 usedDay = 0;
};

using HashEntries = QHash<QString, CachedHash>; // absolute path -> entry

// The text of the cache, and back. Parsing never fails on bad input: false leaves
// `entries` empty.
QByteArray FormatHashCache(const HashEntries &entries);
bool ParseHashCache(const QByteArray &text, HashEntries &entries);

class HashCache {
public:
    // An empty path: nothing is remembered.
    explicit HashCache(QString path = QString());
    // local-files.cache in the user data folder.
    static QString defaultPath();

    void load();
    // The hash and sent size remembered for `path` while it still has `stamp`.
    bool lookup(const QString &path, const FileStamp &stamp, QByteArray &hash, qint64 &sentSize);
    // Remembers what `path` held when it was read from `readStartNs` on, with the stamp
    // it had before; a stamp too close to that moment is not remembered.
    void remember(const QString &path, const FileStamp &stamp, const QByteArray &hash, qint64 sentSize,
                  qint64 readStartNs);
    // Writes the cache when anything changed; entries unused for long, and the oldest
    // past a limit, are dropped. False when it could not be written.
    bool save();

    // How old a change must be, in nanoseconds, when the file is read.
    static constexpr qint64 kSettledNs = 3'000'000'000;

private:
    QString m_path;
    HashEntries m_entries;
    qint64 m_today = 0;
    bool m_changed = false;
};

} // namespace publish
