#include "publish/HashCache.h"

#include "platform/AppFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>
#include <QVector>
#include <algorithm>
#include <functional>
#include <sys/stat.h>
#include <time.h>

namespace publish {

namespace {

const QByteArray kCacheHeader = "Quillmark local file hashes 1";
constexpr qint64 kDayNs = 86'400'000'000'000;
constexpr int kForgetAfterDays = 90;
constexpr int kMaxEntries = 100'000;

// A number as the cache writes it (as QByteArray::number does): decimal digits, a
// sign only for signed fields, no leading zero. Checked by hand: a cache holds
// thousands of them and is read at every publish.
bool canonicalDigits(const QByteArray &field, bool isSigned)
{
    const int first = isSigned && field.startsWith('-') ? 1 : 0;
    if (field.size() == first || field.size() > 20 ||
        !std::all_of(field.cbegin() + first, field.cend(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    return field[first] != '0' || (first == 0 && field.size() == 1); // "0", never "-0" or "07"
}

bool number(const QByteArray &field, qint64 &value)
{
    bool ok = canonicalDigits(field, true);
    value = ok ? field.toLongLong(&ok) : 0;
    return ok;
}

bool unsignedNumber(const QByteArray &field, quint64 &value)
{
    bool ok = canonicalDigits(field, false);
    value = ok ? field.toULongLong(&ok) : 0;
    return ok;
}

QString absolute(const QString &path)
{
    return QDir::isAbsolutePath(path) ? path : QFileInfo(path).absoluteFilePath();
}

} // namespace

bool IsStoredHash(const QByteArray &hash)
{
    return hash.size() == 40 && std::all_of(hash.cbegin(), hash.cend(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

bool StampOf(const QString &path, FileStamp &stamp)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    StampFromStat(st, stamp);
    return true;
}

void StampFromStat(const struct stat &st, FileStamp &stamp)
{
    stamp.size = qint64(st.st_size);
    stamp.modifiedNs = qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    stamp.changedNs = qint64(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
    stamp.inode = quint64(st.st_ino);
    stamp.device = quint64(st.st_dev);
}

qint64 NowNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

QByteArray FormatHashCache(const HashEntries &entries)
{
    QStringList paths = entries.keys();
    paths.sort();
    QByteArray out = kCacheHeader + '\n';
    for (const QString &path : std::as_const(paths)) {
        const CachedHash &e = entries[path];
        out += QByteArray::number(e.stamp.size) + '\t' + QByteArray::number(e.stamp.modifiedNs) + '\t' +
               QByteArray::number(e.stamp.changedNs) + '\t' + QByteArray::number(e.stamp.inode) + '\t' +
               QByteArray::number(e.stamp.device) + '\t' + QByteArray::number(e.sentSize) + '\t' + e.hash +
               '\t' + QByteArray::number(e.usedDay) + '\t' + QUrl::toPercentEncoding(path, "/") + '\n';
    }
    return out + "end\t" + QByteArray::number(entries.size()) + '\n';
}

bool ParseHashCache(const QByteArray &text, HashEntries &entries)
{
    entries.clear();
    QList<QByteArray> lines = text.split('\n');
    // Written whole or not at all: the header, the entries, the count, a last line break.
    if (lines.size() < 3 || lines.first() != kCacheHeader || !lines.last().isEmpty())
        return false;
    const QList<QByteArray> end = lines[lines.size() - 2].split('\t');
    qint64 count = 0;
    if (end.size() != 2 || end[0] != "end" || !number(end[1], count) || count != lines.size() - 3)
        return false;
    for (int i = 1; i < lines.size() - 2; ++i) {
        const QList<QByteArray> f = lines[i].split('\t');
        CachedHash e;
        if (f.size() != 9 || !number(f[0], e.stamp.size) || !number(f[1], e.stamp.modifiedNs) ||
            !number(f[2], e.stamp.changedNs) || !unsignedNumber(f[3], e.stamp.inode) ||
            !unsignedNumber(f[4], e.stamp.device) || !number(f[5], e.sentSize) || !IsStoredHash(f[6]) ||
            !number(f[7], e.usedDay)) {
            entries.clear();
            return false;
        }
        e.hash = f[6];
        const QString path = f[8].contains('%') ? QUrl::fromPercentEncoding(f[8])
                                                : QString::fromUtf8(f[8]); // the same, sooner
        // Pages are published smaller, never larger; a path must be one StampOf can look at.
        if (e.stamp.size < 0 || e.sentSize < 0 || e.sentSize > e.stamp.size || !path.startsWith('/') ||
            path.contains(QChar(0)) || entries.contains(path)) {
            entries.clear();
            return false;
        }
        entries.insert(path, e);
    }
    return true;
}

HashCache::HashCache(QString path) : m_path(std::move(path)), m_today(NowNs() / kDayNs) {}

QString HashCache::defaultPath()
{
    return platform::userDataFolder() + QStringLiteral("/local-files.cache");
}

void HashCache::load()
{
    QFile file(m_path);
    if (m_path.isEmpty() || !file.open(QIODevice::ReadOnly) || !ParseHashCache(file.readAll(), m_entries))
        m_entries.clear();
}

bool HashCache::lookup(const QString &path, const FileStamp &stamp, QByteArray &hash, qint64 &sentSize)
{
    const auto it = m_entries.find(absolute(path));
    if (it == m_entries.end() || it->stamp != stamp)
        return false;
    hash = it->hash;
    sentSize = it->sentSize;
    // Written again for a use at most once a day, so an unchanged publish writes nothing.
    if (it->usedDay != m_today) {
        it->usedDay = m_today;
        m_changed = true;
    }
    return true;
}

void HashCache::remember(const QString &path, const FileStamp &stamp, const QByteArray &hash, qint64 sentSize,
                         qint64 readStartNs)
{
    if (m_path.isEmpty() || stamp.size < 0 || sentSize < 0 || sentSize > stamp.size || !IsStoredHash(hash) ||
        qMax(stamp.modifiedNs, stamp.changedNs) > readStartNs - kSettledNs)
        return;
    const QString key = absolute(path);
    const CachedHash e{stamp, sentSize, hash, m_today};
    const auto it = m_entries.constFind(key);
    if (it != m_entries.cend() && it->stamp == stamp && it->hash == hash && it->sentSize == sentSize)
        return;
    m_entries.insert(key, e);
    m_changed = true;
}

bool HashCache::save()
{
    if (m_path.isEmpty() || !m_changed)
        return true;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (m_today - it->usedDay > kForgetAfterDays)
            it = m_entries.erase(it);
        else
            ++it;
    }
    if (m_entries.size() > kMaxEntries) {
        QVector<qint64> days;
        for (const CachedHash &e : std::as_const(m_entries))
            days << e.usedDay;
        std::nth_element(days.begin(), days.begin() + kMaxEntries, days.end(), std::greater<>());
        const qint64 oldestKept = days[kMaxEntries];
        for (auto it = m_entries.begin(); it != m_entries.end() && m_entries.size() > kMaxEntries;) {
            if (it->usedDay <= oldestKept)
                it = m_entries.erase(it);
            else
                ++it;
        }
    }
    QSaveFile file(m_path);
    if (!QDir().mkpath(QFileInfo(m_path).path()) || !file.open(QIODevice::WriteOnly) ||
        file.write(FormatHashCache(m_entries)) < 0 || !file.commit())
        return false;
    m_changed = false;
    return true;
}

} // namespace publish
