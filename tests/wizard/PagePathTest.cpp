// Where a new page is saved: its name from the product, a free name beside a page
// that must stay, and the folder the Save dialog opens in.
#include "wizard/PagePath.h"

#include "common/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace wizard;

TEST(PagePath, ProductNamesBecomeFileNames)
{
    EXPECT_EQ(PageFileNameFor(" Ledger Lark 2.0 "), "Ledger Lark 2.0.htm");
    EXPECT_EQ(PageFileNameFor("A/B\\C\tD\x01"), "A-B-C-D-.htm");
    for (const char *none : {"", "  ", ".", ".."})
        EXPECT_EQ(PageFileNameFor(none), "") << none;
}

TEST(PagePath, FreeNamesAndTheFolderTheDialogOpensIn)
{
    QTemporaryDir dir;
    const QString page = dir.filePath("my.offer.htm");
    ASSERT_TRUE(testing_support::writeAll(page, "work"));
    EXPECT_EQ(FreePagePathBeside(page), dir.filePath("my.offer (2).htm"));
    ASSERT_TRUE(testing_support::writeAll(dir.filePath("my.offer (2).htm"), "more work"));
    EXPECT_EQ(FreePagePathBeside(page), dir.filePath("my.offer (3).htm"));
    EXPECT_EQ(FreePagePathBeside(dir.filePath("notes")), dir.filePath("notes (2)"));

    const QString documents = dir.filePath("docs");
    // A remembered path: its folder and name; a folder gone: the documents folder.
    platform::FileRequest r = SuggestedPageRequest(dir.filePath("typed.htm "), "Tool", documents);
    EXPECT_EQ(std::make_pair(r.directory, r.fileName), std::make_pair(dir.path(), QString("typed.htm")));
    r = SuggestedPageRequest(dir.filePath("gone/typed.htm"), "Tool", documents);
    EXPECT_EQ(std::make_pair(r.directory, r.fileName), std::make_pair(documents, QString("typed.htm")));
    // A folder alone: the product's name in it; nothing remembered: in the documents folder.
    r = SuggestedPageRequest(dir.path() + "/", "Tool", documents);
    EXPECT_EQ(std::make_pair(r.directory, r.fileName), std::make_pair(dir.path(), QString("Tool.htm")));
    r = SuggestedPageRequest("  ", "Tool", documents);
    EXPECT_EQ(std::make_pair(r.directory, r.fileName), std::make_pair(documents, QString("Tool.htm")));
    EXPECT_EQ(r.title, "Save the sales page as");
}
