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

TEST(IniFile, ReadsLikeTheProfileFunctions)
{
    const QByteArray windowsFile = "stray=before any section\r\n; comment line\r\n[Text]\r\n"
                                   "Name = Sunrise Pro \r\n\r\nquoted=\"  padded  \"\r\nsingle='x'\r\n"
                                   "half=\"open\r\neq=a=b\r\nNAME=second copy\r\nbare line\r\nzone=\tz\t\r\n"
                                   "[broken header\r\nafterBroken=still Text\r\n\r\n[ other ]\r\nk=1\r\n"
                                   "none=''\r\n[TEXT]\r\nlate=from duplicate section\r\n";
    const IniFile ini = IniFile::fromBytes(windowsFile);
    // Names match without case, values are trimmed of blanks and one pair of quotes, the first
    // of duplicate keys and sections wins, a header without "]" is ignored.
    // clang-format off
    const char *cases[][3] = {
        {"TEXT", "name", "Sunrise Pro"}, {"text", "quoted", "  padded  "}, {"Text", "single", "x"},
        {"Text", "half", "\"open"}, {"Text", "eq", "a=b"}, {"Text", "bare line", ""},
        {"Text", "afterBroken", "still Text"}, {"Other", "K", "1"}, {"Text", "late", ""},
        {"Text", "stray", ""}, {"other", "none", ""}, {"missing", "k", ""}, {"TEXT", "ZONE", "z"}};
    // clang-format on
    for (const auto &c : cases)
        EXPECT_EQ(ini.value(c[0], c[1]), c[2]) << c[0] << "/" << c[1];
    EXPECT_TRUE(ini.contains("Text", "bare line"));
    EXPECT_EQ(ini.keys("text"),
              QStringList({"Name", "quoted", "single", "half", "eq", "bare line", "zone", "afterBroken"}));
    EXPECT_EQ(ini.toBytes(), windowsFile); // untouched, the bytes come back as they were
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
    // A value that is a pair of quotes keeps them.
    IniFile pair;
    pair.setValue("b", "q", "\"\"");
    EXPECT_EQ(IniFile::fromBytes(pair.toBytes()).value("b", "q"), "\"\"");
    // Long and 8-bit values come back whole.
    const QString longValue = QString(100000, QLatin1Char('v')) + QString::fromUtf8("é€");
    ini.setValue("s", "k", longValue);
    EXPECT_EQ(IniFile::fromBytes(ini.toBytes()).value("s", "k"), longValue);
    // A value or key that begins with U+FEFF (pasted from a web page) keeps it: the
    // decoder would take it for a byte order mark (found by the INI fuzz target).
    const QString bom = QString(QChar(0xFEFF)) + "[TEXT]";
    ini.setValue("s", bom, bom);
    EXPECT_EQ(ini.value("s", bom), bom);
    EXPECT_EQ(IniFile::fromBytes(ini.toBytes()).value("s", bom), bom);
}

TEST(IniFile, FilesAreReplacedSafely)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.ini");
    EXPECT_EQ(platform::GetPrivateProfileString("s", "k", path), "");
    ASSERT_TRUE(platform::WritePrivateProfileString("s", "k", "v", path));
    EXPECT_EQ(readAll(path), "[s]\r\nk=v\r\n");
    // A file that cannot be read is not overwritten with a fresh one; a missing folder is not made.
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.ini"));
    EXPECT_FALSE(platform::WritePrivateProfileString("s", "k", "v", dir.filePath("folder.ini")));
    EXPECT_FALSE(platform::WritePrivateProfileString("s", "k", "v", dir.filePath("no/such/folder.ini")));
    // An existing file keeps its mode; no temporary file is left behind.
    const auto mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    QFile::setPermissions(path, mode);
    ASSERT_TRUE(platform::WritePrivateProfileString("s", "k", "w", path));
    EXPECT_EQ(QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser), mode);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.ini"});
    // Files beside it are the user's, however their names look.
    for (const char *name : {"a.ini.BACKUP", "a.ini.OldOne", "a.ini.QkZrTb"})
        writeAll(dir.filePath(name), "x");
    ASSERT_TRUE(platform::WritePrivateProfileString("s", "k", "x", path));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              QStringList({"a.ini", "a.ini.BACKUP", "a.ini.OldOne", "a.ini.QkZrTb"}));
}

TEST(IniFile, BadInputGivesAResultNotACrash)
{
    QByteArray garbage(1 << 20, '\0');
    for (char &c : garbage)
        c = char(QRandomGenerator::global()->bounded(256));
    IniFile ini = IniFile::fromBytes(garbage);
    ini.value("TEXT", "x");
    ini.setValue("TEXT", "x", "y");
    EXPECT_EQ(IniFile::fromBytes(ini.toBytes()).value("TEXT", "x"), "y");
    // 50 MB: one endless line, and a million lines in one section.
    EXPECT_EQ(IniFile::fromBytes(QByteArray(50 << 20, 'a')).keyCount(""), 0);
    QByteArray big = "[s]\r\n" + QByteArray("key=" + QByteArray(40, 'v') + "\r\n").repeated(1200000);
    big += "last=end\r\n";
    const IniFile bigIni = IniFile::fromBytes(big);
    EXPECT_EQ(bigIni.value("s", "last"), "end");
    EXPECT_EQ(bigIni.keyCount("s"), 2);
}

TEST(IniFile, NonUtf8FilesAreWindows1252AndStaySoUntilTheyCannot)
{
    // Every byte of the code page reads back as itself, the five undefined ones included.
    QByteArray high;
    for (int b = 0x80; b <= 0xFF; ++b)
        high += char(b);
    IniFile ini = IniFile::fromBytes("[S]\r\nname=Caf\xe9\r\nall=" + high + "\r\n");
    EXPECT_EQ(ini.encoding(), IniFile::Encoding::Windows1252);
    EXPECT_EQ(ini.value("s", "NAME"), QString::fromUtf8("Caf\xc3\xa9"));
    EXPECT_EQ(ini.value("S", "all").at(0), QChar(0x20AC));
    ini.setValue("S", QString::fromUtf8("cl\xc3\xa9"),
                 QString::fromUtf8("\xe2\x80\x9cquoted\xe2\x80\x9d\xc2\xa0\xc3\xbf"));
    EXPECT_EQ(ini.toBytes(), "[S]\r\nname=Caf\xe9\r\nall=" + high + "\r\ncl\xe9=\x93quoted\x94\xa0\xff\r\n");

    // A character the code page lacks, here in a key's name, turns the whole file into UTF-8.
    ini.setValue("S", QString::fromUtf8("\xe6\x97\xa5"), "jp");
    EXPECT_EQ(ini.encoding(), IniFile::Encoding::Utf8);
    const IniFile again = IniFile::fromBytes(ini.toBytes());
    EXPECT_EQ(again.encoding(), IniFile::Encoding::Utf8);
    EXPECT_EQ(again.value("S", "name"), QString::fromUtf8("Caf\xc3\xa9"));
    EXPECT_EQ(again.value("S", "all"), ini.value("S", "all"));
    EXPECT_EQ(again.value("S", QString::fromUtf8("\xe6\x97\xa5")), "jp");

    // New files and UTF-8 files are UTF-8.
    IniFile fresh;
    fresh.setValue("S", "k", QString::fromUtf8("Caf\xc3\xa9"));
    EXPECT_EQ(fresh.toBytes(), "[S]\r\nk=Caf\xc3\xa9\r\n");
}
