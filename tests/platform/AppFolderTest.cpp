// Where the program reads its own files and writes the user's: the environment
// variable, a writable build tree, an installed program with the XDG folders.
#include "platform/AppFolder.h"

#include "common/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace platform;
using testing_support::writeAll;

namespace {

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
    const QString page = previewPage();
    EXPECT_TRUE(page.endsWith("/~temp.htm"));
    const QString folder = previewFolder();
    EXPECT_TRUE(QFileInfo(folder).isDir());
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME", home + "/.cache");
    EXPECT_TRUE(folder.startsWith(QDir(cache).absolutePath() + "/Quillmark/preview-")) << qPrintable(folder);
    EXPECT_TRUE(inPreviewFolder(page));
    EXPECT_FALSE(inPreviewFolder(program + "/page.htm"));
}

} // namespace
