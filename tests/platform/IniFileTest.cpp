// The INI layer against hand-written files, including files made on Windows.
#include "platform/IniFile.h"

#include "common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using platform::IniFile;
using testing_support::readAll;
using testing_support::writeAll;

namespace {

const QByteArray kWindowsFile = "stray=before any section\r\n"
                                "; comment line\r\n"
                                "[Text]\r\n"
                                "Name = Sunrise Pro \r\n"
                                "\r\n"
                                "quoted=\"  padded  \"\r\n"
                                "single='x'\r\n"
                                "half=\"open\r\n"
                                "eq=a=b\r\n"
                                "NAME=second copy\r\n"
                                "bare line\r\n"
                                "[broken header\r\n"
                                "afterBroken=still Text\r\n"
                                "\r\n"
                                "[ other ]\r\n"
                                "k=1\r\n"
                                "[TEXT]\r\n"
                                "late=from duplicate section\r\n";

} // namespace

TEST(IniFile, ReadsLikeTheProfileFunctions)
{
    const IniFile ini = IniFile::fromBytes(kWindowsFile);
    EXPECT_EQ(ini.value("TEXT", "name"), "Sunrise Pro");  // case-insensitive, trimmed
    EXPECT_EQ(ini.value("text", "quoted"), "  padded  "); // one pair of quotes removed
    EXPECT_EQ(ini.value("Text", "single"), "x");
    EXPECT_EQ(ini.value("Text", "half"), "\"open");
    EXPECT_EQ(ini.value("Text", "eq"), "a=b");
    EXPECT_TRUE(ini.contains("Text", "bare line"));
    EXPECT_EQ(ini.value("Text", "bare line"), "");
    EXPECT_EQ(ini.value("Text", "afterBroken"), "still Text");
    EXPECT_EQ(ini.value("Other", "K"), "1");
    EXPECT_EQ(ini.value("Text", "late"), ""); // the first of duplicate sections wins
    EXPECT_EQ(ini.value("Text", "stray"), "");
    EXPECT_EQ(ini.value("missing", "k"), "");
    EXPECT_EQ(ini.keys("text"),
              QStringList({"Name", "quoted", "single", "half", "eq", "bare line", "afterBroken"}));
    // Untouched, the bytes come back as they were.
    EXPECT_EQ(ini.toBytes(), kWindowsFile);
    const QByteArray withMark = "\xEF\xBB\xBF[TEXT]\r\nk=v\r\n";
    EXPECT_EQ(IniFile::fromBytes(withMark).value("TEXT", "k"), "v");
    EXPECT_EQ(IniFile::fromBytes(withMark).toBytes(), withMark);
}

TEST(IniFile, WritesInPlaceAtSectionEndAndFileEnd)
{
    IniFile ini = IniFile::fromBytes("[a]\nx=1\n; note\n\n\n[b]\ny=2");
    ini.setValue("A", "X", "one");
    ini.setValue("a", "z", "new");
    ini.setValue("c", "w", "3");
    ini.setValue("b", "y", "  two  ");
    ini.setValue("b", "q", "'it'");
    ini.setValue("b", "bad", "line\r\nbreak\rhere\n");
    EXPECT_EQ(ini.toBytes(), QByteArray("[a]\r\nx=one\r\n; note\r\nz=new\r\n\r\n\r\n[b]\r\ny=\"  two  \"\r\n"
                                        "q=\"'it'\"\r\nbad=\"line  break here \"\r\n[c]\r\nw=3\r\n"));
    const IniFile back = IniFile::fromBytes(ini.toBytes());
    EXPECT_EQ(back.value("b", "y"), "  two  ");
    EXPECT_EQ(back.value("b", "q"), "'it'");
    EXPECT_EQ(back.value("c", "w"), "3");
}

TEST(IniFile, LongAndEightBitValuesComeBackWhole)
{
    const QString longValue = QString(100000, QLatin1Char('v')) + QString::fromUtf8("é€");
    IniFile ini;
    ini.setValue("s", "k", longValue);
    EXPECT_EQ(IniFile::fromBytes(ini.toBytes()).value("s", "k"), longValue);
}

TEST(IniFile, FilesAreReplacedSafely)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.ini");
    EXPECT_EQ(platform::GetPrivateProfileString("s", "k", path), "");
    ASSERT_TRUE(platform::WritePrivateProfileString("s", "k", "v", path));
    EXPECT_EQ(readAll(path), "[s]\r\nk=v\r\n");

    // A file that cannot be read is not overwritten with a fresh one.
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.ini"));
    EXPECT_FALSE(platform::WritePrivateProfileString("s", "k", "v", dir.filePath("folder.ini")));
    EXPECT_FALSE(platform::WritePrivateProfileString("s", "k", "v", dir.filePath("no/such/folder.ini")));

    // Existing modes are kept; owner-only is 0600.
    const auto mode = [](const QString &file) {
        return QFile::permissions(file) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    };
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    ASSERT_TRUE(platform::WritePrivateProfileString("s", "k", "w", path));
    EXPECT_EQ(mode(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    IniFile ini;
    ASSERT_TRUE(ini.load(path));
    ASSERT_TRUE(ini.save(dir.filePath("secret.ini"), IniFile::Access::OwnerOnly));
    EXPECT_EQ(mode(dir.filePath("secret.ini")), QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              QStringList({"a.ini", "secret.ini"})); // no temporaries
}

TEST(IniFile, BadInputGivesAResultNotACrash)
{
    QByteArray garbage(1 << 20, '\0');
    auto *rng = QRandomGenerator::global();
    for (char &c : garbage)
        c = char(rng->bounded(256));
    IniFile ini = IniFile::fromBytes(garbage);
    ini.value("TEXT", "x");
    ini.setValue("TEXT", "x", "y");
    EXPECT_EQ(IniFile::fromBytes(ini.toBytes()).value("TEXT", "x"), "y");

    // 50 MB: one endless line, and a million lines in one section.
    EXPECT_EQ(IniFile::fromBytes(QByteArray(50 << 20, 'a')).keyCount(""), 0);
    QByteArray big = "[s]\r\n";
    const QByteArray line = "key=" + QByteArray(40, 'v') + "\r\n";
    while (big.size() < (50 << 20))
        big += line;
    big += "last=end\r\n";
    const IniFile bigIni = IniFile::fromBytes(big);
    EXPECT_EQ(bigIni.value("s", "last"), "end");
    EXPECT_EQ(bigIni.keyCount("s"), 2);
}
