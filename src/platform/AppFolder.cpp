#include "AppFolder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThreadPool>
#include <memory>

#ifndef QUILLMARK_SHARE_FROM_BIN
#define QUILLMARK_SHARE_FROM_BIN "../share/quillmark"
#endif

namespace platform {
namespace {

struct Folders {
    QString program;
    bool programSet = false;
    bool installed = false;
    QString userData; // empty until first use
    QString preview;  // set by a test, else the per-run folder
    std::unique_ptr<QTemporaryDir> previewDir;
    std::unique_ptr<QLockFile> previewLock; // declared after: let go before the folder goes
};

// Held in each run's preview folder while the run lasts.
const QString kPreviewLock = QStringLiteral(".lock");

Folders &folders()
{
    static Folders f;
    return f;
}

QString join(QString base, const QString &relative)
{
    if (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + QLatin1Char('/') + relative;
}

void ensureProgramFolder()
{
    Folders &f = folders();
    if (f.programSet || !QCoreApplication::instance())
        return;
    f.program = findProgramFolder(QCoreApplication::applicationDirPath(),
                                  QStringLiteral(QUILLMARK_SHARE_FROM_BIN), &f.installed);
    f.programSet = true;
}

QString chooseUserDataFolder()
{
    const QString fromEnvironment = qEnvironmentVariable("QUILLMARK_DATA");
    if (!fromEnvironment.isEmpty())
        return QDir::cleanPath(QDir(fromEnvironment).absolutePath());
    const QString program = programFolder();
    if (!program.isEmpty() && !programInstalled() && QFileInfo(program).isDir() &&
        QFileInfo(program).isWritable())
        return program;
    QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty())
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    return join(dataHome, QStringLiteral("Quillmark"));
}

// Makes the folder with its sites/ and templates/; a sites/ made here is the first
// run, which gets the sample products that ship with the program.
void prepareUserDataFolder(const QString &folder)
{
    const QString sites = join(folder, QStringLiteral("sites"));
    const bool firstRun = !QFileInfo(sites).isDir();
    QDir().mkpath(sites);
    QDir().mkpath(join(folder, QStringLiteral("templates")));
    if (!firstRun)
        return;
    const QString shipped = join(programFolder(), QStringLiteral("sites"));
    if (QFileInfo(shipped) == QFileInfo(sites))
        return;
    const QDir from(shipped);
    for (const QString &name : from.entryList(QDir::Files))
        QFile::copy(from.filePath(name), join(sites, name));
}

} // namespace

QString findProgramFolder(const QString &exeFolder, const QString &toShare, bool *installed)
{
    if (installed)
        *installed = false;
    const QString beside = QDir::cleanPath(exeFolder);
    if (QFileInfo(join(beside, QStringLiteral("templates"))).isDir())
        return beside;
    const QString shared = QDir::cleanPath(join(beside, toShare));
    if (QFileInfo(join(shared, QStringLiteral("templates"))).isDir()) {
        if (installed)
            *installed = true;
        return shared;
    }
    return beside;
}

QString programFolder()
{
    ensureProgramFolder();
    return folders().program;
}

bool programInstalled()
{
    ensureProgramFolder();
    return folders().installed;
}

void setProgramFolder(const QString &folder, bool installed)
{
    Folders &f = folders();
    f.program = folder.isEmpty() ? QString() : QDir::cleanPath(folder);
    f.programSet = !folder.isEmpty();
    f.installed = !folder.isEmpty() && installed;
}

QString userDataFolder()
{
    Folders &f = folders();
    if (f.userData.isEmpty()) {
        const QString chosen = chooseUserDataFolder();
        prepareUserDataFolder(chosen);
        f.userData = chosen;
    }
    return f.userData;
}

void setUserDataFolder(const QString &folder)
{
    // A folder given here is used as it is: nothing is made or copied into it.
    folders().userData = folder.isEmpty() ? QString() : QDir::cleanPath(folder);
}

QString previewFolder()
{
    Folders &f = folders();
    if (!f.preview.isEmpty())
        return f.preview;
    if (!f.previewDir || !f.previewDir->isValid()) {
        QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
        if (cache.isEmpty())
            cache = QDir::homePath() + QStringLiteral("/.cache");
        const QString parent = join(cache, QStringLiteral("Quillmark"));
        QDir().mkpath(parent);
        f.previewDir = std::make_unique<QTemporaryDir>(join(parent, QStringLiteral("preview-XXXXXX")));
        // Without a cache folder the previews still work from the system's temporary one.
        if (!f.previewDir->isValid())
            f.previewDir = std::make_unique<QTemporaryDir>(
                join(QDir::tempPath(), QStringLiteral("quillmark-preview-XXXXXX")));
        if (f.previewDir->isValid()) {
            f.previewLock = std::make_unique<QLockFile>(join(f.previewDir->path(), kPreviewLock));
            f.previewLock->setStaleLockTime(0);
            f.previewLock->tryLock(0);
            // Off this thread: a cache of many such folders takes a while to go through.
            QThreadPool::globalInstance()->start(
                [parent, own = f.previewDir->path()] { RemoveLeftOverPreviews(parent, own); });
        }
    }
    return f.previewDir->path();
}

void RemoveLeftOverPreviews(const QString &parent, const QString &own)
{
    const QFileInfo ownFolder(own);
    const QDateTime dayAgo = QDateTime::currentDateTimeUtc().addDays(-1);
    const QFileInfoList found =
        QDir(parent).entryInfoList({QStringLiteral("preview-??????")}, QDir::Dirs | QDir::NoSymLinks);
    for (const QFileInfo &folder : found) {
        if (folder == ownFolder)
            continue;
        // A run's lock tells whether it still runs; a folder without one (an older
        // build's, or a run that ended before it could take it) is left a day.
        const QString lockPath = join(folder.absoluteFilePath(), kPreviewLock);
        bool ended = false;
        if (QFileInfo::exists(lockPath)) {
            QLockFile lock(lockPath);
            lock.setStaleLockTime(0); // only a lock whose process is gone is stale
            ended = lock.tryLock(0);
        } else {
            ended = folder.lastModified().toUTC() < dayAgo;
        }
        if (ended)
            QDir(folder.absoluteFilePath()).removeRecursively();
    }
}

void setPreviewFolder(const QString &folder)
{
    folders().preview = folder.isEmpty() ? QString() : QDir::cleanPath(folder);
    if (!folder.isEmpty())
        QDir().mkpath(folder);
}

bool inPreviewFolder(const QString &path)
{
    const Folders &f = folders();
    const QString folder = !f.preview.isEmpty()                      ? f.preview
                           : f.previewDir && f.previewDir->isValid() ? f.previewDir->path()
                                                                     : QString();
    if (folder.isEmpty())
        return false;
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    const QString canonicalPath = QFileInfo(QFileInfo(path).absolutePath()).canonicalFilePath();
    return !canonicalFolder.isEmpty() &&
           (canonicalPath == canonicalFolder || canonicalPath.startsWith(canonicalFolder + QLatin1Char('/')));
}

QString previewPage()
{
    return join(previewFolder(), QStringLiteral("~temp.htm"));
}

QString manifestFolder()
{
    return join(userDataFolder(), QStringLiteral("manifests"));
}

QStringList templateFolders()
{
    QStringList result{join(userDataFolder(), QStringLiteral("templates"))};
    const QString shipped = join(programFolder(), QStringLiteral("templates"));
    if (QFileInfo(shipped) != QFileInfo(result.first()) && QDir::cleanPath(shipped) != result.first())
        result << shipped;
    return result;
}

QString findTemplate(const QString &name)
{
    if (name.isEmpty())
        return {};
    const QString fileName = name + QStringLiteral(".htm");
    for (const QString &folder : templateFolders()) {
        const QString exact = join(folder, fileName);
        if (QFileInfo(exact).isFile())
            return exact;
        // A name typed in another case still finds its template, as on file systems that ignore case.
        const QDir dir(folder);
        for (const QString &entry : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name))
            if (entry.compare(fileName, Qt::CaseInsensitive) == 0)
                return dir.filePath(entry);
    }
    return {};
}

QString applicationFolder()
{
    return userDataFolder();
}

void setApplicationFolder(const QString &folder)
{
    setProgramFolder(folder);
    setUserDataFolder(folder);
}

QString inAppFolder(const QString &relative)
{
    return join(userDataFolder(), relative);
}

} // namespace platform
