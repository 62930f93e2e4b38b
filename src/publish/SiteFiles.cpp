#include "publish/SiteFiles.h"

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
    return canonical == folder ||
           canonical.startsWith(folder.endsWith('/') ? folder : folder + QLatin1Char('/'));
}

bool sameInode(const QString &a, const QString &b)
{
    struct stat sa {
    }, sb{};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool caseBlindLess(const QString &a, const QString &b)
{
    const int blind = a.compare(b, Qt::CaseInsensitive);
    return blind != 0 ? blind < 0 : a < b;
}

struct Walk {
    bool includeHidden;
    const QStringList &own;
    QString root; // canonical
    QStringList chain;
    SiteFiles out;

    void skip(const QString &path, const QString &reason, bool fault = false)
    {
        out.skipped.push_back({path, reason, fault});
    }

    void folder(const QString &dirPath, const QString &remotePrefix)
    {
        chain << QFileInfo(dirPath).canonicalFilePath();
        // The raw names: a name that is not UTF-8 cannot be opened under its decoded
        // form, and QDir would hand it over as if it could.
        QList<QByteArray> raw;
        if (DIR *d = ::opendir(QFile::encodeName(dirPath).constData())) {
            while (const dirent *e = ::readdir(d)) {
                const QByteArray name(e->d_name);
                if (name != "." && name != "..")
                    raw << name;
            }
            ::closedir(d);
        } else {
            skip(dirPath, QStringLiteral("the folder cannot be read"), true);
        }
        std::sort(raw.begin(), raw.end(), [](const QByteArray &a, const QByteArray &b) {
            return caseBlindLess(QFile::decodeName(a), QFile::decodeName(b));
        });
        QStringList files, folders;
        for (const QByteArray &bytes : std::as_const(raw)) {
            const QString name = QFile::decodeName(bytes);
            const QString path = dirPath + QLatin1Char('/') + name;
            const QFileInfo info(path);
            const bool link = info.isSymLink();
            if (name.startsWith(QLatin1Char('.')) && !includeHidden) {
                skip(path,
                     info.isDir() && !link ? QStringLiteral("hidden folder") : QStringLiteral("hidden file"));
                continue;
            }
            if (QFile::encodeName(name) != bytes) {
                skip(path, QStringLiteral("its name is not valid UTF-8, so it cannot be sent; rename it"),
                     true);
                continue;
            }
            const QString canonical = info.canonicalFilePath();
            if (link && canonical.isEmpty()) {
                skip(path, QStringLiteral("link to nothing"));
                continue;
            }
            if (link && !inside(canonical, root)) {
                skip(path, QStringLiteral("link to outside the folder"));
                continue;
            }
            if (IsOwnFile(canonical, own)) {
                skip(path, QStringLiteral("one of Quillmark's own files, never sent"), true);
                continue;
            }
            if (info.isDir()) {
                if (chain.contains(canonical))
                    skip(path, QStringLiteral("link loop"));
                else
                    folders << name;
            } else if (info.isFile()) {
                files << name;
            } else {
                skip(path, QStringLiteral("not a regular file"));
            }
        }
        for (const QString &name : std::as_const(files))
            out.files.push_back({dirPath + QLatin1Char('/') + name,
                                 remotePrefix.isEmpty() ? name : remotePrefix + QLatin1Char('/') + name});
        for (const QString &name : std::as_const(folders))
            folder(dirPath + QLatin1Char('/') + name,
                   remotePrefix.isEmpty() ? name : remotePrefix + QLatin1Char('/') + name);
        chain.removeLast();
    }
};

} // namespace

QStringList ProgramOwnFiles()
{
    const QString data = platform::userDataFolder();
    return {data + QStringLiteral("/ftpinfo.ini"), platform::manifestFolder(),
            data + QStringLiteral("/sites") + kIniPattern,
            platform::programFolder() + QStringLiteral("/sites") + kIniPattern};
}

bool IsOwnFile(const QString &path, const QStringList &ownFiles)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    for (const QString &entry : ownFiles) {
        if (entry.endsWith(kIniPattern)) {
            const QString folder = QFileInfo(entry.chopped(kIniPattern.size())).canonicalFilePath();
            if (!folder.isEmpty() && QFileInfo(canonical).path() == folder &&
                canonical.endsWith(QLatin1String(".ini"), Qt::CaseInsensitive))
                return true;
            continue;
        }
        const QString own = QFileInfo(entry).canonicalFilePath();
        // A hard link to the settings file holds the same password under another name.
        if (!own.isEmpty() && (inside(canonical, own) || (info.isFile() && sameInode(canonical, own))))
            return true;
    }
    return false;
}

SiteFiles WalkSite(const QString &folder, bool includeHidden, const QStringList &ownFiles)
{
    QString start = folder;
    while (start.size() > 1 && start.endsWith(QLatin1Char('/')))
        start.chop(1);
    Walk walk{includeHidden, ownFiles, QFileInfo(start).canonicalFilePath(), {}, {}};
    if (walk.root.isEmpty() || !QFileInfo(start).isDir())
        return {};
    if (IsOwnFile(walk.root, ownFiles))
        walk.skip(start, QStringLiteral("one of Quillmark's own folders, never sent"), true);
    else
        walk.folder(start, QString());
    return walk.out;
}

SiteFiles ReadFilesList(const QString &listPath, const QStringList &ownFiles)
{
    SiteFiles out;
    QFile list(listPath);
    if (!list.open(QIODevice::ReadOnly))
        return out;
    const QDir base = QFileInfo(listPath).absoluteDir();
    const QString folder = base.canonicalPath();
    const QStringList lines = QString::fromLocal8Bit(list.readAll()).split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(QLatin1String("::")))
            continue;
        const QFileInfo info(base.absoluteFilePath(line));
        const QString canonical = info.canonicalFilePath();
        if (canonical.isEmpty())
            out.skipped.push_back({line, QStringLiteral("no such file"), true});
        else if (IsOwnFile(canonical, ownFiles))
            out.skipped.push_back({line, QStringLiteral("one of Quillmark's own files, never sent"), true});
        else if (!inside(canonical, folder))
            out.skipped.push_back({line, QStringLiteral("outside the page's folder, never sent"), true});
        else if (!info.isFile())
            out.skipped.push_back({line, QStringLiteral("not a file"), true});
        else
            out.files.push_back({info.filePath(), info.fileName()});
    }
    return out;
}

} // namespace publish
