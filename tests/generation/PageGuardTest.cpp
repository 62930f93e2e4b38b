// What Quillmark remembers of the pages it writes, and the template lists of one folder
// and of the user's and the shipped templates folders together.
#include "generation/PageGuard.h"
#include "common/RecordingDialogs.h"
#include "common/TestSupport.h"
#include "generation/FolderLister.h"
#include "generation/modTemplates.h"
#include "platform/AppFolder.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace generation;
using testing_support::readAll;
using testing_support::writeAll;

namespace {

struct FakeCombo : ComboTarget {
    QStringList items;
    int current = -1;
    void clear() override { items.clear(), current = -1; }
    void addItem(const QString &text) override { items << text; }
    int count() const override { return items.size(); }
    void setCurrentIndex(int index) override { current = index; }
};

class Guard : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setUserDataFolder(tmp.filePath("data"));
        QDir().mkpath(shipped);
        QDir().mkpath(own);
        writeAll(shipped + "/Sunrise.htm", "<p>shipped <ZOR_PAGE_DATA_SOFTWARENAME></p>");
        writeAll(shipped + "/Sunrise_style.css", "shipped");
        writeAll(shipped + "/Ocean.htm", "<p>ocean</p>");
        writeAll(own + "/sunrise.htm", "<p>mine <ZOR_PAGE_DATA_SOFTWARENAME></p>");
        writeAll(own + "/Zest.htm", "<p>zest</p>");
    }
    void TearDown() override { platform::setUserDataFolder({}); }
    bool generate(QString name, QString page)
    {
        PageData d;
        d.txtSoftwareName = "Tool";
        QString image;
        return GenerateTemplateBasedPage(QStringList{own, shipped}, tmp.path(), name, page, image, d);
    }
    testing_support::RecordingDialogs dialogs;
    QTemporaryDir tmp;
    const QString shipped = tmp.filePath("program/templates"), own = tmp.filePath("data/templates");
    const QString page = tmp.filePath("page.htm");
};

TEST_F(Guard, APageChangedSinceQuillmarkWroteItIsNoticed)
{
    EXPECT_FALSE(PageChangedSinceLastWrite(page)); // nothing there to lose
    writeAll(page, "made elsewhere");
    EXPECT_TRUE(PageChangedSinceLastWrite(page)); // never written by Quillmark
    EXPECT_EQ(RiskOfOverwriting(page, false), OverwriteRisk::ChangedOnDisk);

    ASSERT_TRUE(generate("Sunrise", page));
    EXPECT_FALSE(PageChangedSinceLastWrite(page));
    EXPECT_EQ(RiskOfOverwriting(page, false), OverwriteRisk::None);
    EXPECT_EQ(RiskOfOverwriting(page, true), OverwriteRisk::UnsavedEdits);
    writeAll(page, readAll(page) + "<p>typed</p>");
    EXPECT_TRUE(PageChangedSinceLastWrite(page));
    EXPECT_EQ(AskBeforeOverwriting(page, false), OverwriteChoice::Cancel); // closed without a choice
    EXPECT_TRUE(dialogs.lastMessage().contains("was changed since Quillmark generated it"))
        << dialogs.lastMessage().toStdString();
    EXPECT_EQ(AskBeforeOverwriting(page, true), OverwriteChoice::Cancel);
    EXPECT_TRUE(dialogs.lastMessage().contains("holds changes to")) << dialogs.lastMessage().toStdString();

    // Previews are not remembered.
    const QString preview = platform::previewPage();
    ASSERT_TRUE(generate("Ocean", preview));
    EXPECT_FALSE(readAll(tmp.filePath("data/written-pages.json")).contains("~temp.htm"));
}

TEST_F(Guard, TheUsersTemplateOfTheSameNameWinsAndIsListedFirst)
{
    ASSERT_TRUE(generate("Sunrise", page));
    EXPECT_EQ(readAll(page), "<p>mine Tool</p>");
    // Its own files come from the folder the template came from: none in the user's.
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath("Sunrise_style.css")));
    ASSERT_TRUE(generate("Ocean", page));
    EXPECT_EQ(readAll(page), "<p>ocean</p>");

    FakeCombo combo;
    FillComboFromFolders({own, shipped}, "templates", ".htm", combo);
    EXPECT_EQ(combo.items, QStringList({"sunrise", "Zest", "Ocean"}));
    EXPECT_EQ(combo.current, 0);
    EXPECT_TRUE(dialogs.messages.empty());
    FillComboFromFolders({tmp.filePath("none"), tmp.filePath("neither")}, "templates", ".htm", combo);
    EXPECT_EQ(dialogs.lastMessage(), "Unable to load templates. Folder does not exist");
}

TEST_F(Guard, FolderListerExtensionCaseHiddenFilesAndMissingFolder)
{
    QDir().mkpath(tmp.filePath("templates/sub.htm"));
    QDir().mkpath(tmp.filePath("sites"));
    for (const char *f : {"Sunrise.htm", "Ocean.HTM", "Ocean_bg.gif", "notes.html", "b.htm", "zest.htm",
                          "Zest.htm", "A_b.htm", "Ab.htm"})
        writeAll(tmp.filePath(QString("templates/") + f), "");
    FakeCombo combo;
    combo.items << "stale";
    // In the order of their upper-cased names ("_" after the letters), then by case.
    FillComboFromFolder(tmp.path(), "templates", ".htm", combo);
    EXPECT_EQ(combo.items, QStringList({"Ab", "A_b", "b", "Ocean", "Sunrise", "Zest", "zest"}));
    EXPECT_EQ(combo.current, 0);
    FillComboFromFolder(tmp.path(), "sites", ".ini", combo);
    EXPECT_TRUE(combo.items.isEmpty() && combo.current == -1);
    writeAll(tmp.filePath("sites/.ini"), "");
    FillComboFromFolder(tmp.path(), "sites", ".ini", combo);
    EXPECT_EQ(combo.items, QStringList{""});
    EXPECT_TRUE(dialogs.messages.empty());

    FillComboFromFolder(tmp.path(), "nowhere", ".ini", combo);
    EXPECT_TRUE(combo.items.isEmpty() && combo.current == -1);
    EXPECT_EQ(dialogs.messageTexts(), QStringList{"Unable to load nowhere. Folder does not exist"});
}

} // namespace
