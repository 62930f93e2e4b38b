#include "publish/VersionStore.h"

#include "generation/PublishedPage.h"
#include "platform/AppFolder.h"
#include "publish/HashCache.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace publish {

namespace {

const QByteArray kHeader = "Quillmark version 1";
const QString kSuffix = QStringLiteral(".version");
const QString kBlobs = QStringLiteral("blobs");
const QString kPacks = QStringLiteral("packs");
const QString kPackSuffix = QStringLiteral(".pack");
// Then, for each copy: its hash, a space, its size in decimal, a line feed, its bytes.
const QByteArray kPackHeader = "Quillmark pack 1\n";
constexpr int kCopiers = 8;                          // copies written side by side
const QString kPartSuffix = QStringLiteral(".part"); // a copy not yet known to be on disk

// A remote path that stays below the folder it is written to.
bool isPlainPath(const QString &remote)
{
    const QStringList parts = remote.split(QLatin1Char('/'));
    return std::all_of(parts.cbegin(), parts.cend(), IsPlainName);
}

QByteArray encode(const QString &text)
{
    return QUrl::toPercentEncoding(text, "/");
}

// Streams `from` into `to` (when given), returning the SHA-1 of what was read and
// its size; an empty hash when `from` could not be read whole. Reads at most `limit`
// bytes when it is not negative.
QByteArray copyHashing(QIODevice &from, QIODevice *to, qint64 &size, qint64 limit = -1)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    size = 0;
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    for (;;) {
        const qint64 want = limit < 0 ? buffer.size() : qMin<qint64>(buffer.size(), limit - size);
        const qint64 n = want == 0 ? 0 : from.read(buffer.data(), want);
        if (n < 0)
            return {};
        if (n == 0)
            break;
        hash.addData(QByteArrayView(buffer.constData(), n));
        if (to && to->write(buffer.constData(), n) != n)
            return {};
        size += n;
    }
    return hash.result().toHex();
}

bool held(const QString &blob, qint64 size)
{
    const QFileInfo info(blob);
    return info.isFile() && info.size() == size;
}

// Puts a folder's entries on disk, so that what was renamed into it stays renamed
// after a crash; false when that could not be done. Only the folder: a sync of its
// whole file system would wait for every other program's unwritten files too.
bool SyncFolder(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

bool wentThroughWhole(const Summary &summary)
{
    return summary.error.isEmpty() && summary.failed == 0 && !summary.cancelled && !summary.renameRefused;
}

bool sameFiles(const QVector<VersionFile> &a, const QVector<VersionFile> &b)
{
    if (a.size() != b.size())
        return false;
    QHash<QString, QByteArray> byRemote;
    for (const VersionFile &f : a)
        byRemote.insert(f.remote, f.hash);
    return std::all_of(b.cbegin(), b.cend(),
                       [&](const VersionFile &f) { return byRemote.value(f.remote) == f.hash; });
}

// All writes to the store, and the removal of copies, happen under one lock, so a
// copy written for a version about to be recorded is never taken for an unused one.
class StoreLock {
public:
    explicit StoreLock(const QString &folder, int waitMs = 60000) : m_lock(folder + QStringLiteral("/lock"))
    {
        m_lock.setStaleLockTime(0); // stale only when its process is gone
        if (!QDir().mkpath(folder))
            return;
        // Tried in short turns, so that a lock found to name no process goes while we wait.
        QElapsedTimer waited;
        waited.start();
        do {
            removeNamelessLock(folder + QStringLiteral("/lock"));
            m_locked = m_lock.tryLock(int(qBound(qint64(0), qint64(waitMs) - waited.elapsed(), qint64(100))));
        } while (!m_locked && waited.elapsed() < waitMs);
    }
    bool locked() const { return m_locked; }

private:
    // A program killed between creating the lock file and writing its process id into
    // it leaves a lock that names no process, so it would never count as stale and
    // would keep every later publish waiting. A live holder locks the file the moment it
    // makes it and writes its id at once: a nameless lock that nobody holds, or one a
    // few seconds old, was left by a program that is gone.
    static void removeNamelessLock(const QString &path)
    {
        const QFileInfo info(path);
        qint64 pid = 0;
        QString host, application;
        if (!info.exists() || QLockFile(path).getLockInfo(&pid, &host, &application))
            return;
        const qint64 age = info.lastModified().msecsTo(QDateTime::currentDateTime());
        if (age > 5000 || (age > 200 && !heldOpen(path)))
            QFile::remove(path);
    }

    static bool heldOpen(const QString &path)
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        return held;
    }

    QLockFile m_lock;
    bool m_locked = false;
};

// The version files of one server, newest first.
QStringList versionNames(const QDir &dir)
{
    // Picked by hand: a name filter costs a regular expression compiled at each call.
    QStringList names = dir.entryList(QDir::Files, QDir::Name | QDir::Reversed);
    names.removeIf([](const QString &name) { return !name.endsWith(kSuffix, Qt::CaseInsensitive); });
    return names;
}

constexpr qint64 kMaxVersionBytes = qint64(16) << 20; // read of a version file at most

bool readVersion(const QString &path, Version &version)
{
    QFile file(path);
    // No bigger than the file: a buffer of the whole limit costs its pages at every read.
    return file.open(QIODevice::ReadOnly) &&
           ParseVersion(file.read(qBound(qint64(1), file.size(), kMaxVersionBytes)), version);
}

// Beside a server's versions, a note of what the newest one names: the version file's
// name and stamp, and a digest of its remote paths and hashes. A publish that changed
// nothing compares its files with the note rather than read the version back. A note
// that does not match (stale, torn, or from a build that keeps none) only sends it
// the long way, so it is written without a temporary file.
const QString kNewestNote = QStringLiteral("newest.note");

QByteArray newestNote(const QString &versionPath, const QVector<VersionFile> &files)
{
    FileStamp stamp;
    if (!StampOf(versionPath, stamp))
        return {};
    QVector<const VersionFile *> byRemote;
    byRemote.reserve(files.size());
    for (const VersionFile &f : files)
        byRemote << &f;
    std::sort(byRemote.begin(), byRemote.end(),
              [](const VersionFile *a, const VersionFile *b) { return a->remote < b->remote; });
    QCryptographicHash digest(QCryptographicHash::Sha1);
    for (const VersionFile *f : std::as_const(byRemote)) {
        digest.addData(f->remote.toUtf8());
        digest.addData(QByteArrayView("\0", 1)); // no path holds a NUL; a hash is 40 digits
        digest.addData(f->hash);
    }
    return QFileInfo(versionPath).fileName().toUtf8() + '\t' + QByteArray::number(stamp.size) + '\t' +
           QByteArray::number(stamp.modifiedNs) + '\t' + QByteArray::number(stamp.changedNs) + '\t' +
           QByteArray::number(stamp.inode) + '\t' + digest.result().toHex() + '\n';
}

void writeNewestNote(const QString &targetFolder, const QByteArray &note)
{
    QFile out(targetFolder + QLatin1Char('/') + kNewestNote);
    if (!note.isEmpty() && out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        out.write(note);
}

QString lockSentence(const QString &folder)
{
    return QStringLiteral("The versions in %1 are in use by another Quillmark, so no version was recorded.")
        .arg(folder);
}

} // namespace

qint64 Version::bytes() const
{
    qint64 total = 0;
    for (const VersionFile &f : files)
        total += f.size;
    return total;
}

QByteArray FormatVersion(const Version &version)
{
    QByteArray out =
        kHeader + "\ntime\t" + version.time.toUTC().toString(Qt::ISODateWithMs).toLatin1() + '\n';
    for (const VersionFile &f : version.files)
        out += QByteArray::number(f.size) + '\t' + f.hash + '\t' + encode(f.remote) + '\t' + encode(f.local) +
               '\n';
    return out;
}

bool ParseVersion(const QByteArray &text, Version &version)
{
    version = Version();
    const QList<QByteArray> lines = text.split('\n');
    if (lines.value(0).trimmed() != kHeader)
        return false;
    QSet<QString> seen;
    seen.reserve(lines.size());
    version.files.reserve(lines.size());
    // The same as the percent decoder, sooner for the many names that need none.
    const auto decoded = [](const QByteArray &field) {
        return field.contains('%') ? QUrl::fromPercentEncoding(field) : QString::fromUtf8(field);
    };
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].trimmed().split('\t');
        if (fields.size() == 2 && fields[0] == "time") {
            version.time = QDateTime::fromString(QString::fromLatin1(fields[1]), Qt::ISODateWithMs).toUTC();
            continue;
        }
        if (fields.size() == 1 && fields[0].isEmpty())
            continue;
        if (fields.size() != 4)
            return false; // a damaged line could hide a file the roll-back would then leave out
        VersionFile f;
        bool ok = false;
        f.size = fields[0].toLongLong(&ok);
        f.hash = fields[1];
        f.remote = decoded(fields[2]);
        f.local = decoded(fields[3]);
        if (!ok || f.size < 0 || !IsStoredHash(f.hash) || !isPlainPath(f.remote) || seen.contains(f.remote))
            return false;
        seen.insert(f.remote);
        version.files << f;
    }
    return version.time.isValid() && !version.files.isEmpty();
}

QVector<PackEntry> ReadPackEntries(QIODevice &pack, qint64 size)
{
    QVector<PackEntry> entries;
    if (pack.read(kPackHeader.size()) != kPackHeader)
        return entries;
    qint64 at = kPackHeader.size();
    while (at < size && pack.seek(at)) {
        const QByteArray head = pack.read(64); // "HASH SIZE\n"
        const qsizetype end = head.indexOf('\n');
        bool ok = false;
        PackEntry e;
        e.hash = head.left(40);
        e.size = end > 41 && head.at(40) == ' ' ? head.mid(41, end - 41).toLongLong(&ok) : -1;
        e.offset = at + end + 1;
        if (!ok || e.size < 0 || !IsStoredHash(e.hash) || e.size > size - e.offset)
            break;
        entries << e;
        at = e.offset + e.size;
    }
    return entries;
}

struct VersionStore::PackIndex {
    struct Place {
        QString pack;
        qint64 offset = 0;
        qint64 size = 0;
    };
    QHash<QByteArray, Place> at;
    struct Pack {
        QString path;
        qint64 size = 0;
        QVector<PackEntry> entries;
    };
    QVector<Pack> packs;
};

// Writes the copies handed over while a publish sends, on a thread of its own, under
// the store's lock (taken without waiting: a store in use gets its copies at
// recording). They go one after another into one pack under a temporary name, without
// a sync each; putting them in place syncs the pack once and only then renames it: one
// new file and one journal commit for the lot, where a file a copy costs a few
// thousand file-system updates on a first publish, and still no copy under its final
// name before its bytes are on disk. What a killed run leaves under the temporary
// name, pruning removes.
class VersionStore::Copier {
public:
    explicit Copier(const VersionStore &store) : m_store(store) {}
    ~Copier() { finish(); }

    void add(const QByteArray &hash, const QByteArray &bytes)
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        // Past the limit the copies wait for recording rather than fill the memory.
        if (m_finished || m_closed || m_queuedBytes + bytes.size() > kMaxQueuedBytes ||
            m_taken.contains(hash))
            return;
        m_taken.insert(hash); // a second file with the same bytes has its copy already
        m_queuedBytes += bytes.size();
        m_jobs.push_back({hash, bytes});
        if (m_queuedBytes >= kBatchBytes)
            m_ready.notify_one();
        if (!m_writer.joinable())
            m_writer = std::thread([this] { work(); });
    }

    // No copy follows: the copies are put on disk and in place by a thread of their
    // own, while the files still go, rather than after the last one.
    void close()
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        if (m_finished || m_closed)
            return;
        m_closed = true;
        m_ready.notify_all();
        // Once closed, add() starts no writer.
        m_settler = std::thread([this] {
            if (m_writer.joinable())
                m_writer.join();
            putInPlace();
        });
    }

    // Waits for the copies under way and puts them in place; hands over the store's
    // lock they were written under, when they took it.
    std::unique_ptr<StoreLock> finish()
    {
        {
            std::lock_guard<std::mutex> hold(m_mutex);
            m_finished = true;
            m_ready.notify_all();
        }
        if (m_settler.joinable())
            m_settler.join();
        if (m_writer.joinable())
            m_writer.join();
        putInPlace();
        std::unique_ptr<StoreLock> lock = std::move(m_lock);
        m_taken.clear();
        m_index.at.clear();
        m_finished = false;
        m_closed = false;
        return lock;
    }

private:
    void work()
    {
        std::unique_lock<std::mutex> hold(m_mutex);
        if (!m_lock) {
            m_lock = std::make_unique<StoreLock>(m_store.m_folder, 0);
            if (m_lock->locked())
                m_index = m_store.readPacks();
        }
        for (;;) {
            // Copies are written a batch at a time: a wake-up a copy costs the thread
            // that hands them over as much as the writing.
            m_ready.wait(hold, [this] { return m_finished || m_closed || m_queuedBytes >= kBatchBytes; });
            if (m_jobs.empty())
                return;
            const std::deque<std::pair<QByteArray, QByteArray>> batch = std::exchange(m_jobs, {});
            m_queuedBytes = 0;
            if (!m_lock->locked() || m_broken)
                continue;
            hold.unlock();
            for (const auto &[hash, bytes] : batch) {
                if (!m_store.holds(m_index, hash, bytes.size()))
                    append(hash, bytes);
            }
            hold.lock();
        }
    }

    // Only the writer thread, or the one that joined it, touches the pack.
    void append(const QByteArray &hash, const QByteArray &bytes)
    {
        if (!m_pack) {
            const QString folder = m_store.m_folder + QLatin1Char('/') + kPacks;
            const QString name =
                QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmsszzz")) +
                QLatin1Char('-') + QString::number(QRandomGenerator::global()->generate64(), 36);
            m_pack = std::make_unique<QFile>(folder + QLatin1Char('/') + name + kPackSuffix + kPartSuffix);
            m_broken = !QDir().mkpath(folder) || !m_pack->open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
                       m_pack->write(kPackHeader) != kPackHeader.size();
        }
        const QByteArray head = hash + ' ' + QByteArray::number(bytes.size()) + '\n';
        m_broken = m_broken || m_pack->write(head) != head.size() || m_pack->write(bytes) != bytes.size();
    }

    // Syncs the pack, renames it into place, and syncs the rename. Copies that are not
    // in place are made again when the version is recorded.
    void putInPlace()
    {
        const std::unique_ptr<QFile> pack = std::move(m_pack);
        const bool broken = std::exchange(m_broken, false);
        if (!pack)
            return;
        const QString part = pack->fileName();
        const QString whole = part.chopped(kPartSuffix.size());
        const bool synced = !broken && pack->flush() && ::fdatasync(pack->handle()) == 0;
        pack->close();
        if (synced &&
            ::rename(QFile::encodeName(part).constData(), QFile::encodeName(whole).constData()) == 0) {
            // The store's folder too: the packs folder may be new.
            if (SyncFolder(QFileInfo(whole).path()) && SyncFolder(m_store.m_folder))
                return;
            QFile::remove(whole); // not known to be on disk: not kept under its name
        }
        QFile::remove(part);
    }

    const VersionStore &m_store;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::pair<QByteArray, QByteArray>> m_jobs;
    std::thread m_writer;
    std::thread m_settler; // puts the pack in place once closed
    std::unique_ptr<StoreLock> m_lock;
    PackIndex m_index; // the packs held when the lock was taken
    QSet<QByteArray> m_taken;
    std::unique_ptr<QFile> m_pack; // under its temporary name
    bool m_broken = false;         // the pack could not be written whole
    qint64 m_queuedBytes = 0;
    bool m_finished = false;
    bool m_closed = false; // no copy follows
    static constexpr qint64 kMaxQueuedBytes = 64 << 20;
    static constexpr qint64 kBatchBytes = 1 << 20;
};

VersionStore::VersionStore(QString folder)
    : m_folder(std::move(folder)), m_copier(std::make_unique<Copier>(*this))
{
}

VersionStore::~VersionStore() = default;

void VersionStore::copyAhead(const QByteArray &hash, const QByteArray &bytes)
{
    if (IsStoredHash(hash))
        m_copier->add(hash, bytes);
}

void VersionStore::noMoreCopies()
{
    m_copier->close();
}

void VersionStore::finishCopies()
{
    m_copier->finish();
}

QString VersionStore::defaultFolder()
{
    return platform::userDataFolder() + QStringLiteral("/versions");
}

VersionStore::PackIndex VersionStore::readPacks() const
{
    PackIndex index;
    const QDir dir(m_folder + QLatin1Char('/') + kPacks);
    for (const QString &name : dir.entryList(QDir::Files)) {
        QFile pack(dir.filePath(name));
        if (!name.endsWith(kPackSuffix) || !pack.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            continue;
        index.packs.push_back({pack.fileName(), pack.size(), ReadPackEntries(pack, pack.size())});
        for (const PackEntry &e : std::as_const(index.packs.last().entries))
            index.at.insert(e.hash, {pack.fileName(), e.offset, e.size});
    }
    return index;
}

bool VersionStore::holds(const PackIndex &packs, const QByteArray &hash, qint64 size) const
{
    const auto packed = packs.at.constFind(hash);
    return (packed != packs.at.cend() && packed->size == size) || held(blobPath(hash), size);
}

QString VersionStore::blobPath(const QByteArray &hash) const
{
    return m_folder + QLatin1Char('/') + kBlobs + QLatin1Char('/') + QString::fromLatin1(hash.left(2)) +
           QLatin1Char('/') + QString::fromLatin1(hash);
}

QString VersionStore::targetFolder(const Target &target) const
{
    // The key of the server's manifest: one server, one history, whatever the manifest folder.
    return m_folder + QLatin1Char('/') +
           QFileInfo(UploadEngine::manifestPath(QString(), target)).completeBaseName();
}

QVector<Version> VersionStore::list(const Target &target) const
{
    return list(target, readPacks(), false);
}

QVector<Version> VersionStore::list(const Target &target, const PackIndex &packs, bool newestOnly) const
{
    QVector<Version> out;
    const QDir dir(targetFolder(target));
    for (const QString &name : versionNames(dir)) {
        if (newestOnly && !out.isEmpty())
            break;
        Version v;
        if (!readVersion(dir.filePath(name), v))
            continue;
        v.id = name.chopped(kSuffix.size());
        const bool whole = std::all_of(v.files.cbegin(), v.files.cend(),
                                       [&](const VersionFile &f) { return holds(packs, f.hash, f.size); });
        if (whole)
            out << v;
    }
    return out;
}

QString VersionStore::record(const Target &target, const Summary &summary, int keep,
                             const QString &manifestFolder)
{
    // The lock the copies were written under is kept for recording them: no other
    // Quillmark prunes them meanwhile, and taking it again would cost a synced write.
    std::unique_ptr<StoreLock> lock = m_copier->finish();
    if (!wentThroughWhole(summary))
        return QString();
    QVector<VersionFile> files;
    QVector<QByteArray> expected; // what the server holds of each, when known
    bool allVouched = true;
    for (const FileResult &r : summary.files) {
        if (r.action == Action::WouldSend)
            return QString(); // a dry run left the server as it was
        if (r.action == Action::Sent || r.action == Action::Unchanged) {
            files.push_back({r.remote, r.bytes, {}, r.local});
            expected << (IsStoredHash(r.hash) ? r.hash : QByteArray());
            allVouched = allVouched && !expected.last().isEmpty();
        }
    }
    if (files.isEmpty())
        return QString();

    // The run names the hash of each file it sent or found unchanged; for any it did
    // not, the manifest holds what the server was seen to keep, with the same hash the
    // copies are named by. Files whose copy is held already are not read again.
    if (!allVouched && !manifestFolder.isEmpty()) {
        const auto manifest = ReadManifest(UploadEngine::manifestPath(manifestFolder, target));
        for (int i = 0; i < files.size(); ++i) {
            const auto sent = manifest.constFind(files[i].remote);
            if (expected[i].isEmpty() && sent != manifest.cend() && sent->first == files[i].size &&
                IsStoredHash(sent->second))
                expected[i] = sent->second;
        }
    }
    // A publish that changed nothing names what the newest version names: nothing to
    // record, and no copy to look at.
    if (!expected.contains(QByteArray())) {
        QVector<VersionFile> known = files;
        for (int i = 0; i < known.size(); ++i)
            known[i].hash = expected[i];
        const QString dir = targetFolder(target);
        const QStringList names = versionNames(QDir(dir));
        if (!names.isEmpty()) {
            const QString newest = dir + QLatin1Char('/') + names.first();
            QFile note(dir + QLatin1Char('/') + kNewestNote);
            if (note.open(QIODevice::ReadOnly) && note.read(4096) == newestNote(newest, known))
                return QString();
            Version v;
            if (readVersion(newest, v) && sameFiles(v.files, known)) {
                writeNewestNote(dir, newestNote(newest, v.files));
                return QString();
            }
        }
    }
    if (!lock || !lock->locked())
        lock = std::make_unique<StoreLock>(m_folder);
    if (!lock->locked())
        return lockSentence(m_folder);
    // Each copy is synced to disk before it is renamed into place; several side by side
    // share the file system's journal commits, where one after another waits for each.
    const PackIndex packs = readPacks();
    QVector<int> toCopy;
    for (int i = 0; i < files.size(); ++i) {
        VersionFile &f = files[i];
        if (!expected[i].isEmpty() && holds(packs, expected[i], f.size)) {
            f.hash = expected[i];
            continue;
        }
        toCopy << i;
    }
    if (toCopy.isEmpty())
        return addVersion(target, files, keep, &packs);
    if (!QDir().mkpath(m_folder + QLatin1Char('/') + kBlobs))
        return QStringLiteral("A copy of %1 could not be written to %2, so no version was recorded.")
            .arg(files[toCopy.first()].local, m_folder);
    QVector<QString> errors(files.size());
    VersionFile *file = files.data(); // detached here, not by the copiers
    QString *error = errors.data();
    const QByteArray *hashOf = expected.constData();
    std::atomic<int> next{0};
    auto copier = [&] {
        for (int k = next++; k < toCopy.size(); k = next++) {
            const int i = toCopy[k];
            error[i] = copyFile(file[i], hashOf[i], packs);
        }
    };
    std::vector<std::thread> copiers;
    for (int t = 1; t < qMin<int>(kCopiers, toCopy.size()); ++t)
        copiers.emplace_back(copier);
    copier();
    for (std::thread &t : copiers)
        t.join();
    for (const QString &e : std::as_const(errors)) {
        if (!e.isEmpty())
            return e; // the first in the files' order
    }
    return addVersion(target, files, keep, &packs);
}

QString VersionStore::copyFile(VersionFile &f, const QByteArray &expected, const PackIndex &packs) const
{
    QFile file(f.local);
    QBuffer page;
    QIODevice *in = &file;
    // A page goes out as the engine publishes it, without the template's block markers.
    if (file.open(QIODevice::ReadOnly) && (f.remote.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive) ||
                                           f.remote.endsWith(QLatin1String(".html"), Qt::CaseInsensitive))) {
        page.setData(generation::PublishedBytes(file.readAll()));
        page.open(QIODevice::ReadOnly);
        in = &page;
    }
    qint64 size = 0;
    f.hash = in->isOpen() ? copyHashing(*in, nullptr, size) : QByteArray();
    const QString changed =
        QStringLiteral("%1 changed while it was being published, so no version was recorded.").arg(f.local);
    if (f.hash.isEmpty() || size != f.size || (!expected.isEmpty() && f.hash != expected))
        return changed;
    if (holds(packs, f.hash, f.size))
        return QString();
    const QString blob = blobPath(f.hash);
    QSaveFile out(blob);
    in->seek(0);
    if (!QDir().mkpath(QFileInfo(blob).path()) || !out.open(QIODevice::WriteOnly))
        return QStringLiteral("A copy of %1 could not be written to %2, so no version was recorded.")
            .arg(f.local, m_folder);
    if (copyHashing(*in, &out, size) != f.hash)
        return changed; // the copy is dropped with `out`
    if (!out.commit())
        return QStringLiteral("A copy of %1 could not be written to %2, so no version was recorded.")
            .arg(f.local, m_folder);
    return QString();
}

QString VersionStore::recordFiles(const Target &target, const QVector<VersionFile> &files, int keep)
{
    finishCopies();
    StoreLock lock(m_folder);
    if (!lock.locked())
        return lockSentence(m_folder);
    return addVersion(target, files, keep, nullptr);
}

QString VersionStore::addVersion(const Target &target, const QVector<VersionFile> &files, int keep,
                                 const PackIndex *checked)
{
    const PackIndex read = checked ? PackIndex() : readPacks();
    const PackIndex &packs = checked ? *checked : read;
    for (const VersionFile &f : files) {
        if (!checked && !holds(packs, f.hash, f.size))
            return QStringLiteral("The copy of %1 is missing from %2, so no version was recorded.")
                .arg(f.remote, m_folder);
    }
    // A publish that changed nothing adds no version, so it pushes none out either.
    const QVector<Version> kept = list(target, packs, true);
    if (!kept.isEmpty() && sameFiles(kept.first().files, files))
        return QString();
    Version v;
    v.time = QDateTime::currentDateTimeUtc();
    v.files = files;
    const QString dir = targetFolder(target);
    const QString stem = v.time.toString(QStringLiteral("yyyyMMdd'T'HHmmsszzz'Z'"));
    QString path = dir + QLatin1Char('/') + stem + kSuffix;
    for (int n = 2; QFile::exists(path); ++n)
        path = dir + QLatin1Char('/') + stem + QLatin1Char('_') + QString::number(n) + kSuffix; // after "Z."
    QSaveFile out(path);
    const QByteArray text = FormatVersion(v);
    if (!QDir().mkpath(dir) || !out.open(QIODevice::WriteOnly) || out.write(text) < 0 || !out.commit())
        return QStringLiteral("The version could not be written to %1.").arg(dir);
    // The note names the files as a read of the version would give them back.
    if (Version written; text.size() <= kMaxVersionBytes && ParseVersion(text, written))
        writeNewestNote(dir, newestNote(path, written.files));
    prune(dir, keep, packs);
    return QString();
}

void VersionStore::prune(const QString &targetFolder, int keep, const PackIndex &index)
{
    keep = qBound(1, keep, kMaxKeepVersions);
    QDir dir(targetFolder);
    const QStringList names = versionNames(dir);
    for (int i = keep; i < names.size(); ++i)
        dir.remove(names[i]);

    // Copies named by no version of any server go; so does anything else in the copies'
    // folder (what an interrupted copy left).
    QSet<QString> named;
    const QDir root(m_folder);
    for (const QString &server : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (server == kBlobs || server == kPacks)
            continue;
        const QDir versions(root.filePath(server));
        for (const QString &name : versions.entryList({QLatin1Char('*') + kSuffix}, QDir::Files)) {
            Version v;
            if (readVersion(versions.filePath(name), v)) {
                for (const VersionFile &f : std::as_const(v.files))
                    named.insert(QString::fromLatin1(f.hash));
            }
        }
    }
    QDirIterator blobs(root.filePath(kBlobs), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (blobs.hasNext()) {
        const QString path = blobs.next();
        if (!named.contains(blobs.fileName()))
            QFile::remove(path);
    }
    // A pack mostly in use is kept whole. One mostly unused hands what is still named
    // over to copies of their own, and goes: the copies never cost much over twice
    // their bytes, and a pack is never rewritten.
    const QDir packs(root.filePath(kPacks));
    for (const QString &name : packs.entryList(QDir::Files | QDir::Hidden)) {
        if (!name.endsWith(kPackSuffix))
            QFile::remove(packs.filePath(name)); // what a killed run left
    }
    for (const PackIndex::Pack &p : index.packs) {
        QVector<PackEntry> used;
        qint64 usedBytes = 0;
        for (const PackEntry &e : p.entries) {
            if (named.contains(QString::fromLatin1(e.hash))) {
                used << e;
                usedBytes += e.size;
            }
        }
        if (usedBytes * 2 >= p.size)
            continue;
        QFile pack(p.path);
        const bool handedOver = std::all_of(used.cbegin(), used.cend(), [&](const PackEntry &e) {
            if (held(blobPath(e.hash), e.size))
                return true;
            QSaveFile out(blobPath(e.hash));
            qint64 size = 0;
            return QDir().mkpath(QFileInfo(out.fileName()).path()) &&
                   (pack.isOpen() || pack.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) &&
                   pack.seek(e.offset) && out.open(QIODevice::WriteOnly) &&
                   copyHashing(pack, &out, size, e.size) == e.hash && size == e.size && out.commit();
        });
        if (handedOver)
            QFile::remove(p.path);
    }
}

QString VersionStore::materialise(const Version &version, const QString &folder) const
{
    const PackIndex packs = readPacks();
    for (const VersionFile &f : version.files) {
        QFile in(blobPath(f.hash));
        const QString path = folder + QLatin1Char('/') + f.remote;
        QFile out(path);
        qint64 size = 0, limit = -1;
        if (!in.open(QIODevice::ReadOnly)) {
            const auto packed = packs.at.constFind(f.hash);
            in.setFileName(packed == packs.at.cend() ? QString() : packed->pack);
            if (!in.open(QIODevice::ReadOnly) || !in.seek(packed->offset))
                return QStringLiteral("The copy of %1 is missing from %2.").arg(f.remote, m_folder);
            limit = packed->size;
        }
        if (!QDir().mkpath(QFileInfo(path).path()) || !out.open(QIODevice::WriteOnly))
            return QStringLiteral("%1 could not be written.").arg(path);
        if (copyHashing(in, &out, size, limit) != f.hash || size != f.size)
            return QStringLiteral("The copy of %1 in %2 is damaged.").arg(f.remote, m_folder);
    }
    return QString();
}

Summary Rollback(UploadEngine &engine, VersionStore &store, const Target &target, int back,
                 const Options &options, int keep, QString *error)
{
    Summary summary;
    const QVector<Version> versions = store.list(target);
    if (back < 0 || back >= versions.size()) {
        *error =
            versions.size() < 2
                ? QStringLiteral("There is no earlier version for this server to go back to.")
                : QStringLiteral("There is no version %1 back: %2 earlier versions are kept for this server.")
                      .arg(back)
                      .arg(versions.size() - 1);
        return summary;
    }
    const Version &version = versions[back];
    QTemporaryDir temporary;
    const QString site = temporary.path() + QStringLiteral("/site");
    if (!temporary.isValid() || !QDir().mkpath(site)) {
        *error = QStringLiteral("A temporary folder for the version could not be made.");
        return summary;
    }
    *error = store.materialise(version, site);
    if (!error->isEmpty())
        return summary;

    // The folder holds the version's files and nothing else, hidden ones included.
    Options rollback = options;
    rollback.includeHidden = true;
    summary = engine.run({{site, true}}, target, rollback);

    QHash<QString, QString> localOf;
    for (const VersionFile &f : version.files)
        localOf.insert(f.remote, f.local);
    for (FileResult &r : summary.files)
        r.local = localOf.value(r.remote, r.local);
    if (!options.dryRun && wentThroughWhole(summary)) {
        const QString notRecorded = store.recordFiles(target, version.files, keep);
        if (!notRecorded.isEmpty())
            emit engine.status(notRecorded);
    }
    return summary;
}

} // namespace publish
