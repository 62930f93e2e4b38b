// Where the program reads its own files and writes the user's: the environment
// variable, a writable build tree, an installed program with the XDG folders.
#include "platform/AppFolder.h"

#include "common/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>
#include <QThreadPool>
#include <gtest/gtest.h>
#include <utime.h>

using namespace platform;
using testing_support::writeAll;

namespace {

// A lock as a run writes it, naming a process that is gone.
QByteArray lockOfAnEndedRun(const QString &scratch)
{
    QDir().mkpath(scratch);
    QLockFile lock(scratch + "/sample.lock");
    if (!lock.tryLock(0))
        return {};
    const QByteArray held = testing_support::readAll(scratch + "/sample.lock");
    return "4194305" + held.mid(held.indexOf('\n'));
}

class Folders : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *name : {"QUILLMARK_DATA", "XDG_DATA_HOME", "XDG_CACHE_HOME", "HOME"})
            saved.emplace_back(name, qgetenv(name));
        qunsetenv("QUILLMARK_DATA");
        qunsetenv("XDG_DATA_HOME");
        qputenv("HOME", home.toLocal8Bit());
        for (const char *folder : {"/templates", "/sites"})
            QDir().mkpath(program + folder);
        for (const char *file : {"/templates/Sunrise.htm", "/templates/Ocean.htm", "/sites/Sample.ini",
                                 "/sites/Sample_shot.png"})
            writeAll(program + file, "shipped");
        setUserDataFolder({});
    }
    void TearDown() override
    {
        for (const auto &[name, value] : saved)
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        setProgramFolder({});
        setUserDataFolder({});
    }
    QTemporaryDir tmp;
    const QString home = tmp.filePath("home"), program = tmp.filePath("program");
    std::vector<std::pair<const char *, QByteArray>> saved;
};

TEST_F(Folders, TheEnvironmentVariableWinsAndGetsTheSampleOnce)
{
    setProgramFolder(program, true);
    const QString data = tmp.filePath("mine/data");
    qputenv("QUILLMARK_DATA", data.toLocal8Bit());
    EXPECT_EQ(userDataFolder(), data);
    EXPECT_TRUE(QFileInfo(data + "/templates").isDir());
    EXPECT_TRUE(QFileInfo::exists(data + "/sites/Sample.ini"));
    EXPECT_TRUE(QFileInfo::exists(data + "/sites/Sample_shot.png"));
    EXPECT_EQ(inAppFolder("ftpinfo.ini"), data + "/ftpinfo.ini");
    EXPECT_EQ(manifestFolder(), data + "/manifests");

    // A sample the user deleted does not come back on the next run.
    QFile::remove(data + "/sites/Sample.ini");
    setUserDataFolder({});
    EXPECT_EQ(userDataFolder(), data);
    EXPECT_FALSE(QFileInfo::exists(data + "/sites/Sample.ini"));
}

TEST_F(Folders, AWritableBuildTreeKeepsEverythingTogether)
{
    // Templates beside the executable: a build tree or a portable copy, not installed.
    bool installed = true;
    EXPECT_EQ(findProgramFolder(program, "../share/quillmark", &installed), program);
    EXPECT_FALSE(installed);
    setProgramFolder(program);
    EXPECT_EQ(userDataFolder(), program);
    EXPECT_EQ(templateFolders(), QStringList{program + "/templates"});
    EXPECT_EQ(QDir(program + "/sites").entryList(QDir::Files).size(), 2); // nothing copied onto itself
}

TEST_F(Folders, AnInstalledProgramWritesToTheXdgDataFolder)
{
    setProgramFolder(program, true);
    EXPECT_EQ(userDataFolder(), home + "/.local/share/Quillmark");
    EXPECT_TRUE(QFileInfo::exists(home + "/.local/share/Quillmark/sites/Sample.ini"));
    qputenv("XDG_DATA_HOME", tmp.filePath("xdg").toLocal8Bit());
    setUserDataFolder({});
    EXPECT_EQ(userDataFolder(), tmp.filePath("xdg") + "/Quillmark");

    // The user's templates come first, and a user's template of a shipped name wins.
    const QString own = userDataFolder() + "/templates";
    EXPECT_EQ(templateFolders(), QStringList({own, program + "/templates"}));
    writeAll(own + "/Ocean.htm", "mine");
    EXPECT_EQ(findTemplate("Ocean"), own + "/Ocean.htm");
    EXPECT_EQ(findTemplate("SUNRISE"), program + "/templates/Sunrise.htm");
    EXPECT_EQ(findTemplate("Nowhere"), "");
    EXPECT_EQ(findTemplate(""), "");
}

TEST_F(Folders, PreviewsGoToAFolderOfTheirOwnInTheCache)
{
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME", home + "/.cache");
    const QString left = cache + "/Quillmark/preview-leftxx";
    QDir().mkpath(left);
    writeAll(left + "/.lock", lockOfAnEndedRun(home));
    const QString page = previewPage();
    EXPECT_TRUE(page.endsWith("/~temp.htm"));
    const QString folder = previewFolder();
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_TRUE(folder.startsWith(QDir(cache).absolutePath() + "/Quillmark/preview-")) << qPrintable(folder);
    EXPECT_TRUE(inPreviewFolder(page));
    EXPECT_FALSE(inPreviewFolder(program + "/page.htm"));
    // What an ended run left goes, beside the program's work.
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_FALSE(QFileInfo::exists(left));
    EXPECT_TRUE(QFileInfo(folder + "/.lock").isFile());
}

// The preview folders that runs which did not end normally left behind go; those of
// running programs, this run's own, young ones without a lock and other folders stay.
TEST_F(Folders, PreviewFoldersOfEndedRunsAreRemoved)
{
    const QString parent = home + "/.cache/Quillmark";
    const auto make = [&](const char *name) {
        const QString folder = parent + "/" + name;
        QDir().mkpath(folder);
        writeAll(folder + "/~temp.htm", "a page");
        return folder;
    };
    const QByteArray ended = lockOfAnEndedRun(home);
    for (const char *name : {"preview-ended1", "preview-myself", "keep-me-please"})
        writeAll(make(name) + "/.lock", ended);
    QLockFile running(make("preview-runnin") + "/.lock");
    ASSERT_TRUE(running.tryLock(0));
    make("preview-nolock");
    const utimbuf twoDaysAgo{time(nullptr) - 2 * 86400, time(nullptr) - 2 * 86400};
    ASSERT_EQ(::utime(QFile::encodeName(make("preview-oldone")).constData(), &twoDaysAgo), 0);

    RemoveLeftOverPreviews(parent, parent + "/preview-myself");
    EXPECT_EQ(QDir(parent).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList({"keep-me-please", "preview-myself", "preview-nolock", "preview-runnin"}));
}

} // namespace
