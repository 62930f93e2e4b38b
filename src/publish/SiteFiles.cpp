#include "publish/SiteFiles.h"

#include "generation/FileList.h"
#include "platform/AppFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace publish {

namespace {

const QString kIniPattern = QStringLiteral("/*.ini");

bool inside(const QString &canonical, const QString &folder)
{
    // Without building "folder/": asked for every file of a walk against each own entry.
    if (!canonical.startsWith(folder))
        return false;
    return canonical.size() == folder.size() || folder.endsWith('/') || canonical[folder.size()] == '/';
}

// One entry of the program's own files, resolved once for a whole walk.
struct OwnEntry {
    QString path;           // canonical
    bool iniFolder = false; // the .ini files directly in `path`
    dev_t device = 0;       // a file with other names (hard links): its inode
    ino_t inode = 0;
};

QVector<OwnEntry> resolveOwn(const QStringList &ownFiles)
{
    QVector<OwnEntry> out;
    for (const QString &entry : ownFiles) {
        OwnEntry e;
        e.iniFolder = entry.endsWith(kIniPattern);
        e.path = QFileInfo(e.iniFolder ? entry.chopped(kIniPattern.size()) : entry).canonicalFilePath();
        struct stat st {};
        if (!e.iniFolder && ::stat(QFile::encodeName(e.path).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
            st.st_nlink > 1) {
            e.device = st.st_dev;
            e.inode = st.st_ino;
        }
        if (!e.path.isEmpty())
            out << e;
    }
    return out;
}

bool isOwn(const QString &canonical, const QVector<OwnEntry> &own)
{
    for (const OwnEntry &e : own) {
        if (e.iniFolder ? canonical.endsWith(QLatin1String(".ini"), Qt::CaseInsensitive) &&
                              canonical.left(canonical.lastIndexOf('/')) == e.path
                        : inside(canonical, e.path))
            return true;
        // A hard link to the settings file holds the same password under another name.
        struct stat st {};
        if (e.inode && ::stat(QFile::encodeName(canonical).constData(), &st) == 0 && st.st_dev == e.device &&
            st.st_ino == e.inode)
            return true;
    }
    return false;
}

bool caseBlindLess(const QString &a, const QString &b)
{
    const int blind = a.compare(b, Qt::CaseInsensitive);
    return blind != 0 ? blind < 0 : a < b;
}

struct Walk {
    bool includeHidden;
    QVector<OwnEntry> own;
    QString root; // canonical
    QStringList chain;
    SiteFiles out;

    void skip(const QString &path, const QString &reason, bool fault = false)
    {
        out.skipped.push_back({path, reason, fault});
    }

    void folder(const QString &dirPath, const QString &canonicalDir, const QString &remotePrefix)
    {
        chain << canonicalDir;
        // The raw names: a name that is not UTF-8 cannot be opened under its decoded
        // form, and QDir would hand it over as if it could.
        // Each decoded once, not at every comparison of the sort.
        QVector<std::pair<QString, QByteArray>> raw; // decoded, as on disk
        if (DIR *d = ::opendir(QFile::encodeName(dirPath).constData())) {
            while (const dirent *e = ::readdir(d)) {
                const QByteArray name(e->d_name);
                if (name != "." && name != "..")
                    raw.push_back({QFile::decodeName(name), name});
            }
            ::closedir(d);
        } else {
            skip(dirPath, QStringLiteral("the folder cannot be read"), true);
        }
        std::sort(raw.begin(), raw.end(),
                  [](const auto &a, const auto &b) { return caseBlindLess(a.first, b.first); });
        QVector<SiteFile> files;                      // names only, then made whole below
        QVector<std::pair<QString, QString>> folders; // name, canonical path
        const QByteArray rawDir = QFile::encodeName(dirPath) + '/';
        for (const auto &[name, bytes] : std::as_const(raw)) {
            const QString path = dirPath + QLatin1Char('/') + name;
            // One lstat a name: its stamp serves the hash cache too. Links alone are
            // looked at through QFileInfo, which follows them.
            struct stat st {};
            const bool seen = ::lstat((rawDir + bytes).constData(), &st) == 0;
            const bool link = seen && S_ISLNK(st.st_mode);
            const QFileInfo info = link ? QFileInfo(path) : QFileInfo();
            const bool isDir = link ? info.isDir() : seen && S_ISDIR(st.st_mode);
            const bool isFile = link ? info.isFile() : seen && S_ISREG(st.st_mode);
            if (name.startsWith(QLatin1Char('.')) && !includeHidden) {
                skip(path, isDir && !link ? QStringLiteral("hidden folder") : QStringLiteral("hidden file"));
                continue;
            }
            if (QFile::encodeName(name) != bytes) {
                skip(path, QStringLiteral("its name is not valid UTF-8, so it cannot be sent; rename it"),
                     true);
                continue;
            }
            const QString canonical =
                link ? info.canonicalFilePath() : canonicalDir + QLatin1Char('/') + name;
            if (link && canonical.isEmpty()) {
                skip(path, QStringLiteral("link to nothing"));
                continue;
            }
            if (link && !inside(canonical, root)) {
                skip(path, QStringLiteral("link to outside the folder"));
                continue;
            }
            if (isOwn(canonical, own)) {
                skip(path, QStringLiteral("one of Quillmark's own files, never sent"), true);
                continue;
            }
            if (isDir) {
                if (chain.contains(canonical))
                    skip(path, QStringLiteral("link loop"));
                else
                    folders.push_back({name, canonical});
            } else if (isFile) {
                FileStamp stamp; // a link's is left to the reader, which follows it
                if (!link)
                    StampFromStat(st, stamp);
                files.push_back({name, {}, link ? info.size() : stamp.size, stamp});
            } else {
                skip(path, QStringLiteral("not a regular file"));
            }
        }
        for (const SiteFile &f : std::as_const(files))
            out.files.push_back({dirPath + QLatin1Char('/') + f.local,
                                 remotePrefix.isEmpty() ? f.local : remotePrefix + QLatin1Char('/') + f.local,
                                 f.size, f.stamp});
        for (const auto &[name, canonical] : std::as_const(folders))
            folder(dirPath + QLatin1Char('/') + name, canonical,
                   remotePrefix.isEmpty() ? name : remotePrefix + QLatin1Char('/') + name);
        chain.removeLast();
    }
};

} // namespace

QStringList ProgramOwnFiles()
{
    const QString data = platform::userDataFolder();
    return {data + QStringLiteral("/ftpinfo.ini"),
            platform::manifestFolder(),
            data + QStringLiteral("/versions"),
            data + QStringLiteral("/local-files.cache"),
            data + QStringLiteral("/sites") + kIniPattern,
            platform::programFolder() + QStringLiteral("/sites") + kIniPattern};
}

bool IsOwnFile(const QString &path, const QStringList &ownFiles)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return !canonical.isEmpty() && isOwn(canonical, resolveOwn(ownFiles));
}

SiteFiles WalkSite(const QString &folder, bool includeHidden, const QStringList &ownFiles)
{
    QString start = folder;
    while (start.size() > 1 && start.endsWith(QLatin1Char('/')))
        start.chop(1);
    Walk walk{includeHidden, resolveOwn(ownFiles), QFileInfo(start).canonicalFilePath(), {}, {}};
    if (walk.root.isEmpty() || !QFileInfo(start).isDir())
        return {};
    if (isOwn(walk.root, walk.own))
        walk.skip(start, QStringLiteral("one of Quillmark's own folders, never sent"), true);
    else
        walk.folder(start, walk.root, QString());
    return walk.out;
}

SiteFiles ReadFilesList(const QString &listPath, const QStringList &ownFiles)
{
    SiteFiles out;
    QStringList lines;
    if (!generation::FileList::Read(listPath, lines))
        return out;
    const QDir base = QFileInfo(listPath).absoluteDir();
    const QString folder = base.canonicalPath();
    const QVector<OwnEntry> own = resolveOwn(ownFiles);
    for (const QString &line : std::as_const(lines)) {
        const QFileInfo info(base.absoluteFilePath(line));
        const QString canonical = info.canonicalFilePath();
        if (canonical.isEmpty())
            out.skipped.push_back({line, QStringLiteral("no such file"), true});
        else if (isOwn(canonical, own))
            out.skipped.push_back({line, QStringLiteral("one of Quillmark's own files, never sent"), true});
        else if (!inside(canonical, folder))
            out.skipped.push_back({line, QStringLiteral("outside the page's folder, never sent"), true});
        else if (!info.isFile())
            out.skipped.push_back({line, QStringLiteral("not a file"), true});
        else // under its path below the list's folder, where the page's addresses lead
            out.files.push_back(
                {info.filePath(), base.relativeFilePath(QDir::cleanPath(info.absoluteFilePath()))});
    }
    return out;
}

SiteFiles PageAndReferences(const QString &pagePath, const QStringList &references,
                            const QStringList &ownFiles)
{
    SiteFiles out;
    const QFileInfo page(pagePath);
    const QDir base(page.absolutePath());
    const QString folder = base.canonicalPath();
    const QVector<OwnEntry> own = resolveOwn(ownFiles);
    for (const QString &path : QStringList{page.absoluteFilePath()} + references) {
        const QFileInfo info(path);
        const QString canonical = info.canonicalFilePath();
        // The name the page uses, not the one a link leads to.
        const QString remote = base.relativeFilePath(QDir::cleanPath(info.absoluteFilePath()));
        if (canonical.isEmpty() || !info.isFile())
            out.skipped.push_back({path, QStringLiteral("no such file"), true});
        else if (isOwn(canonical, own))
            out.skipped.push_back({path, QStringLiteral("one of Quillmark's own files, never sent"), true});
        else if (!inside(canonical, folder) || remote.startsWith(QLatin1String("../")))
            out.skipped.push_back({path, QStringLiteral("outside the page's folder, never sent"), true});
        else
            out.files.push_back({info.filePath(), remote});
    }
    return out;
}

} // namespace publish
