// Link answers that would run script, and the sniffing of product pictures.
#include "generation/AnswerSafety.h"
#include "generation/modTemplates.h"

#include <gtest/gtest.h>

using namespace generation;

TEST(AnswerSafety, ScriptAddressesAsBrowsersReadThem)
{
    const std::pair<const char *, const char *> cases[] = {
        {"javascript:alert(1)", "javascript"},
        {"JaVaScRiPt:alert(1)", "javascript"},
        {" \t\x01javascript:x", "javascript"},
        {"java\tscr\r\nipt:x", "javascript"},
        {"data:text/html,<script>x</script>", "data"},
        {"VBScript:msgbox", "vbscript"},
        {"https://x.org/?next=javascript:x", ""},
        {"mailto:javascript@x.org", ""},
        {"support@x.org", ""},
        {"java script:x", ""},
        {"javascripts:x", ""},
        {"\xC2\xA0javascript:x", ""}, // a no-break space is no blank to a browser: a relative path
        {"", ""}};
    for (const auto &[address, scheme] : cases)
        EXPECT_EQ(ScriptAddressScheme(QString::fromUtf8(address)), scheme) << address;
}

TEST(AnswerSafety, UnsafeLinkAnswersCountAsNotGiven)
{
    PageData d;
    d.txtSupportURL = "javascript:a()";
    d.txtAffiliateURL = "https://x.org/partners";
    d.txtDownloadURL = "data:,x";
    d.txtPurchaseURL = "vbscript:b";
    EXPECT_EQ(UnsafeLinkAnswers(d), QStringList({"txtSupportURL", "txtDownloadURL", "txtPurchaseURL"}));
    EXPECT_TRUE(UnsafeLinkMessage("txtPurchaseURL", d)
                    .startsWith("The purchase link (txtPurchaseURL) is a vbscript:"));
    const QString tpl = "<ZOR_IF_PAGE_DATA_SUPPORTURL><a href=\"<ZOR_PAGE_DATA_SUPPORTURL>\">s</a>"
                        "</ZOR_IF_PAGE_DATA_SUPPORTURL>|<a href=\"<ZOR_PAGE_DATA_AFFILIATEURL>\">a</a>|"
                        "<ZOR_PAGE_DATA_TRY>[<ZOR_PAGE_DATA_TRYURL>]</ZOR_PAGE_DATA_TRY>|"
                        "<ZOR_PAGE_DATA_ORDER_URL>|<a href='<ZOR_PAGE_DATA_ORDER_URL>'>o</a>";
    EXPECT_EQ(FillTemplateText(tpl, d), "|<a href=\"https://x.org/partners\">a</a>|"
                                        "<ZOR_PAGE_DATA_TRY></ZOR_PAGE_DATA_TRY>||<a href=''>o</a>");
    // Nor can an answer smuggle a later answer into its attribute or script.
    d = {};
    d.txtSupportURL = QString(QChar(0xFDD0)) + "ZOR_PAGE_DATA_COPYRIGHT" + QChar(0xFDD1);
    d.txtKeywords = QString(QChar(0xFDD2)) + "ZOR_PAGE_DATA_COPYRIGHT" + QChar(0xFDD1);
    d.txtCopyRightInfo = "javascript:alert(1)";
    const QString page =
        FillTemplateText("<a href=\"<ZOR_PAGE_DATA_SUPPORTURL>\"><script>\"<ZOR_PAGE_DATA_KEYWORD>\""
                         "</script><i title=\"<ZOR_PAGE_DATA_COPYRIGHT>\"></i>"
                         "<script>\"<ZOR_PAGE_DATA_COPYRIGHT>\"</script>",
                         d);
    EXPECT_EQ(page.count("javascript"), 2) << page.toStdString();
}

TEST(AnswerSafety, PicturesByTheirFirstBytes)
{
    // QByteArrayLiteral keeps every byte of the literal, NULs included.
    const std::pair<QByteArray, bool> cases[] = {
        {QByteArrayLiteral("\x89PNG\r\n\x1a\n\0\0"), true},
        {"\xFF\xD8\xFF\xE0", true},
        {"GIF89a\x01\0", true},
        {"GIF87a", true},
        {QByteArrayLiteral("RIFF\x10\0\0\0WEBPVP8 "), true},
        {QByteArrayLiteral("BM\0\0\0\0\0\0\0\0\0\0\0\0\x28\0\0\0"), true},
        {QByteArrayLiteral("BM\0\0\0\0\0\0\0\0\0\0\0\0\x7c\0\0\0"), true}, // as most tools write now
        {QByteArrayLiteral("BM\0\0\0\0\0\0\0\0\0\0\0\0\x6c\0\0\0"), true},
        {QByteArrayLiteral("\0\0\1\0\1\0\x10\x10"), true},
        {QByteArrayLiteral("\0\0\0\030ftypavif\0\0\0\0mif1miaf"), true},
        {QByteArrayLiteral("\0\0\0\030ftypmif1\0\0\0\0miafavis"), true},
        {"\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- drawn -->\n"
         "<!DOCTYPE svg [<!ENTITY a \"<b>\">]>\n<svg:svg xmlns:svg=\"http://www.w3.org/2000/svg\"/>",
         true},
        {"<svg>", true},
        {"", false},
        {"\x89PNG", false},
        {"BM is how this note begins, and no bitmap header follows", false},
        {QByteArrayLiteral("\0\0\1\0\0\0"), false}, // an icon of no pictures
        {QByteArrayLiteral("RIFF\x10\0\0\0WAVEfmt "), false},
        {QByteArrayLiteral("\0\0\0\024ftypisom\0\0\0\0mp41"), false},
        {"[TEXT]\r\ntxtPassword=x\r\n", false},
        {"<?xml version=\"1.0\"?><html><svg/></html>", false},
        {"<svgfont>", false},
        {"<!-- never closed <svg>", false}};
    for (const auto &[head, picture] : cases)
        EXPECT_EQ(IsPictureData(head), picture) << head.toStdString();
}
