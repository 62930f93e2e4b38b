// The texts the editor builds without a window: the table and colour texts.
#include "editor/logic/ColorText.h"
#include "editor/logic/TableText.h"

#include <gtest/gtest.h>

using namespace editor;

TEST(TableText, FirstDefaultTableMatchesByteForByte)
{
    const QString cell = QStringLiteral("      <TD ALIGN=Left VALIGN=TOP WIDTH=224 HEIGHT=30></TD>\r\n");
    const QString row = QStringLiteral("   <TR>\r\n") + cell.repeated(3) + QStringLiteral("   </TR>\r\n");
    const QString expected = QStringLiteral("<Table ID=0 align=\"Left\" cellspacing=\"1\" cellpadding=\"1\" "
                                            "border=\"1\" width=75%>\r\n") +
                             row.repeated(3) + QStringLiteral("</Table>\r\n");
    const TableSetup setup{
        QStringLiteral("Left"), QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("1"), 3, 3};
    EXPECT_EQ(BuildTableText(0, setup), expected);
    EXPECT_EQ(expected.count(QStringLiteral("\r\n")), 17);
}

TEST(TableText, FieldsInTheirPlacesEmptyOnesDefaultedAndNoRowsOrCells)
{
    TableSetup setup{QString(), QStringLiteral("0"), QString(), QStringLiteral("x y"), 1, 1};
    EXPECT_EQ(
        BuildTableText(7, setup),
        QStringLiteral("<Table ID=7 align=\"Left\" cellspacing=\"1\" cellpadding=\"x y\" border=\"0\" "
                       "width=75%>\r\n   <TR>\r\n      <TD ALIGN= VALIGN=TOP WIDTH=224 HEIGHT=30></TD>\r\n"
                       "   </TR>\r\n</Table>\r\n"));
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
