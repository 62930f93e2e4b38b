// The texts the editor builds without a window: tables, colours, searches, recent pages
// and the source position of a check finding.
#include "editor/logic/ColorText.h"
#include "editor/logic/FindText.h"
#include "editor/logic/RecentPages.h"
#include "editor/logic/StartPage.h"
#include "editor/logic/TableText.h"
#include "editor/logic/TextPosition.h"

#include <QTemporaryDir>

#include "common/TestSupport.h"

#include <gtest/gtest.h>

using namespace editor;

TEST(TableText, DefaultTableByteForByteAndEveryFieldInItsPlace)
{
    const QString cell = QStringLiteral("      <TD ALIGN=Left VALIGN=TOP WIDTH=224 HEIGHT=30></TD>\r\n");
    const QString row = QStringLiteral("   <TR>\r\n") + cell.repeated(3) + QStringLiteral("   </TR>\r\n");
    const QString expected = QStringLiteral("<Table ID=0 align=\"Left\" cellspacing=\"1\" cellpadding=\"1\" "
                                            "border=\"1\" width=75%>\r\n") +
                             row.repeated(3) + QStringLiteral("</Table>\r\n");
    TableSetup setup{
        QStringLiteral("Left"), QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("1"), 3, 3};
    EXPECT_EQ(BuildTableText(0, setup), expected);
    // Fields in their places, an empty alignment defaulted, no rows or no cells.
    setup = {QString(), QStringLiteral("0"), QString(), QStringLiteral("x y"), 1, 1};
    EXPECT_EQ(
        BuildTableText(7, setup),
        QStringLiteral("<Table ID=7 align=\"Left\" cellspacing=\"1\" cellpadding=\"x y\" border=\"0\" "
                       "width=75%>\r\n   <TR>\r\n      <TD ALIGN= VALIGN=TOP WIDTH=224 HEIGHT=30></TD>\r\n"
                       "   </TR>\r\n</Table>\r\n"));
    // A box emptied by hand gives an empty text, not a null one: the defaults still hold.
    setup.spacing = setup.padding = setup.border = QStringLiteral("");
    EXPECT_TRUE(BuildTableText(7, setup).startsWith(
        QStringLiteral("<Table ID=7 align=\"Left\" cellspacing=\"1\" cellpadding=\"1\" border=\"1\" ")));
    setup.rows = -2;
    EXPECT_EQ(BuildTableText(1, setup).count(QStringLiteral("\r\n")), 2);
    setup.rows = 2;
    setup.columns = 0;
    EXPECT_EQ(BuildTableText(1, setup).section(QStringLiteral("\r\n"), 1, 4),
              QStringLiteral("   <TR>\r\n   </TR>\r\n   <TR>\r\n   </TR>"));
}

TEST(TableText, CountsAreSixteenBitWholeNumbers)
{
    EXPECT_EQ(ParseCount(QStringLiteral(" 12 ")), qint16(12));
    EXPECT_EQ(ParseCount(QStringLiteral("-32768")), qint16(-32768));
    EXPECT_EQ(ParseCount(QStringLiteral("32767")), qint16(32767));
    for (const char *bad : {"", "  ", "abc", "3x", "2.5", "32768", "-32769", "99999999999"})
        EXPECT_FALSE(ParseCount(QString::fromLatin1(bad))) << bad;
}

TEST(ColorText, RedInTheLowestByteBecomesRRGGBB)
{
    EXPECT_EQ(ColorToHtml(0x0000FF), QStringLiteral("FF0000"));
    EXPECT_EQ(ColorToHtml(0xFF0A0B0C), QStringLiteral("0C0B0A")); // the top byte is ignored
}

// The options, regular expressions and a bad pattern: the find window's test.
TEST(FindText, TheSearchWrapsAndSpecialCharactersAreLiteral)
{
    const QString text = QStringLiteral("Buy now. buy NOW, buyer!");
    const auto plain = FindPattern(QStringLiteral("buy"), {});
    ASSERT_TRUE(plain);
    EXPECT_EQ(FindIn(text, 1, *plain).start, 9);
    EXPECT_EQ(FindIn(text, 20, *plain).start, 0);       // round to the start
    EXPECT_EQ(FindIn(text, 2, *plain, true).start, 18); // round to the end
    EXPECT_EQ(FindIn(text, 0, *plain, true).start, 18); // also from the very start
    EXPECT_FALSE(FindIn(text, 0, *FindPattern(QStringLiteral("n.w"), {})).found());
    EXPECT_FALSE(FindPattern(QString(), {}));
    // Backwards from just after a match finds that match.
    EXPECT_EQ(FindIn(QStringLiteral("buy buy"), 7, *plain, true).start, 4);

    // Whole words: letters of any script are word characters, on both sides.
    FindOptions whole;
    whole.wholeWord = true;
    EXPECT_EQ(FindIn(QStringLiteral("rebuy buyer buy"), 0, *FindPattern(QStringLiteral("buy"), whole)).start,
              12);
    EXPECT_EQ(FindIn(QStringLiteral("naïve na"), 0, *FindPattern(QStringLiteral("na"), whole)).start, 6);
    // ... around every alternative of a regular expression.
    whole.regex = true;
    EXPECT_EQ(FindIn(QStringLiteral("cats dog"), 0, *FindPattern(QStringLiteral("cat|dog"), whole)).start, 5);
    // A pattern that can match nothing finds its first real match, or none.
    FindOptions regex;
    regex.regex = true;
    EXPECT_EQ(FindIn(QStringLiteral("abc"), 0, *FindPattern(QStringLiteral("b*"), regex)).start, 1);
    EXPECT_FALSE(FindIn(QStringLiteral("abc"), 0, *FindPattern(QStringLiteral("x*"), regex)).found());
}

TEST(FindText, ReplaceAllGivesEachMatchWithItsReplacement)
{
    const QString text = QStringLiteral("<p>a</p> <b>b</b> tail");
    FindOptions options;
    options.regex = true;
    const auto tags = FindPattern(QStringLiteral("<(\\w)>"), options);
    const auto places = ReplacementsIn(text, *tags, QStringLiteral("<\\1 class=\"x\">\\\\"), true);
    ASSERT_EQ(places.size(), 2u);
    EXPECT_EQ(places[1].start, 9);
    EXPECT_EQ(places[1].length, 3);
    EXPECT_EQ(places[1].text, QStringLiteral("<b class=\"x\">\\"));
    // Literal mode keeps backslashes; empty matches are no matches.
    const auto literal = ReplacementsIn(text, *FindPattern(QStringLiteral("a"), {}), "\\1", false);
    ASSERT_EQ(literal.size(), 2u); // "a" and "tail"
    EXPECT_EQ(literal[1].start, 19);
    EXPECT_EQ(literal[1].text, QStringLiteral("\\1"));
    EXPECT_TRUE(ReplacementsIn(text, *FindPattern(QStringLiteral("x*"), options), "y", true).empty());
}

TEST(RecentPages, NewestFirstTenAtMostAndKeptInAFile)
{
    QStringList pages;
    for (int i = 0; i < 12; ++i)
        pages = WithRecentPage(pages, QStringLiteral("/s/p%1.htm").arg(i));
    EXPECT_EQ(pages.size(), kRecentPagesMax);
    EXPECT_EQ(pages.first(), QStringLiteral("/s/p11.htm"));
    pages = WithRecentPage(pages, QStringLiteral("/s/./p5.htm"));
    EXPECT_EQ(pages.first(), QStringLiteral("/s/p5.htm"));
    EXPECT_EQ(pages.count(QStringLiteral("/s/p5.htm")), 1);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("recent.txt"));
    EXPECT_TRUE(LoadRecentPages(file).isEmpty());
    ASSERT_TRUE(SaveRecentPages(file, pages));
    EXPECT_EQ(LoadRecentPages(file), pages);
    // A list written elsewhere: CR LF, more than ten, names not in their clean form.
    QByteArray lines = "/s/./a.htm\r\n";
    for (int i = 0; i < 11; ++i)
        lines += QStringLiteral("/s/p%1.htm\r\n").arg(i).toUtf8();
    ASSERT_TRUE(testing_support::writeAll(file, lines));
    pages = LoadRecentPages(file);
    ASSERT_EQ(pages.size(), kRecentPagesMax);
    EXPECT_EQ(pages[1], QStringLiteral("/s/p0.htm"));
    pages = WithRecentPage(pages, QStringLiteral("/s/a.htm"));
    EXPECT_EQ(pages.size(), kRecentPagesMax);
    EXPECT_EQ(pages.mid(0, 2), QStringList({"/s/a.htm", "/s/p0.htm"}));
}

TEST(StartPage, NineLinesByteForByte)
{
    EXPECT_EQ(
        startPageHtml().toStdString(),
        "<HTML>\r\n<HEAD>\r\n<META NAME=\"GENERATOR\" Content=\"Quillmark from Orlenway\">\r\n"
        "<META NAME=\"DESCRIPTION\" Content=\"Sales pages for software products, made with Quillmark\">\r\n"
        "<TITLE>Quillmark from Orlenway</TITLE>\r\n</HEAD>\r\n<BODY>\r\n</BODY>\r\n</HTML>");
}

TEST(TextPosition, LinesColumnsAndTokens)
{
    const QString text = "<p>\n<img src=\"a b.png\">\n\nend";
    EXPECT_EQ(TextPosition(text, 1, 1), 0);
    EXPECT_EQ(TextPosition(text, 2, 0), 4); // no column: the line's start
    EXPECT_EQ(TextPosition(text, 2, 11), text.indexOf("a b"));
    EXPECT_EQ(TextPosition(text, 2, 99), text.indexOf("\n\n")); // past the line's end: its end
    EXPECT_EQ(TextPosition(text, 3, 1), text.indexOf("\n\n") + 1);
    EXPECT_EQ(TextPosition(text, 9, 1), text.size());
    EXPECT_EQ(TokenLength(text, text.indexOf("a b")), 1);                 // up to the blank
    EXPECT_EQ(TokenLength(text, text.indexOf("<img")), 4);                // a tag's name
    EXPECT_EQ(TokenLength("x <ZOR_A><b>", 2), QString("<ZOR_A>").size()); // up to and with ">"
    EXPECT_EQ(TokenLength("<b>x", 0), 3);
    EXPECT_EQ(TokenLength("src='a.png'>", 5), 5);
    EXPECT_EQ(TokenLength("a.png\tb", 0), 5);
    EXPECT_EQ(TokenLength(text, text.size()), 1);
}
