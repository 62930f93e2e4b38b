// Left-over copies of an interrupted save are cleared beside the file; nothing of the
// user's is taken for one.
#include "platform/SaveFile.h"

#include "common/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(SaveFile, OnlyLeftOverCopiesOfThatFileAreRemoved)
{
    QTemporaryDir dir;
    const QStringList stale = {"page.htm.AbCdEf", "page.htm.qkzrtB", ".htaccess.QkZrTb", "a[1].htm.XyZabc"};
    const QStringList kept = {"page.htm",         "page.htm.backup", "page.htm.QkZrTb1",
                              "page.htm.OldCopy", "page.htm.QkZrT",  "old-page.htm.QkZrTb",
                              "page.AbCdEf",      ".htaccess",       "a1.htm.XyZabc"};
    for (const QString &name : stale + kept)
        ASSERT_TRUE(testing_support::writeAll(dir.filePath(name), "x"));
    EXPECT_EQ(platform::RemoveStaleSaveFiles(dir.filePath("page.htm")), 2);
    EXPECT_EQ(platform::RemoveStaleSaveFiles(dir.filePath(".htaccess")), 1);
    EXPECT_EQ(platform::RemoveStaleSaveFiles(dir.filePath("a[1].htm")), 1);
    QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    QStringList expected = kept;
    left.sort();
    expected.sort();
    EXPECT_EQ(left, expected);
}
