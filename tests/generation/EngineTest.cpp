// The template engine's tricky behaviour: order effects, marker vs placeholder
// case, bodies put back by text, bodies no longer intact, the testimonial split.
#include "common/TestSupport.h"
#include "generation/modTemplates.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace generation;

namespace {
const QString kFaq =
    QStringLiteral("<ZOR_PAGE_DATA_FAQ>[<ZOR_PAGE_DATA_FAQ_QUESTION>=<ZOR_PAGE_DATA_FAQ_ANSWER>]"
                   "</ZOR_PAGE_DATA_FAQ>");

QVector<ListRow> faqRows(int n)
{
    QVector<ListRow> rows;
    for (int i = 1; i <= n; ++i)
        rows.append({QStringLiteral("q%1").arg(i), {QStringLiteral("a%1").arg(i)}});
    return rows;
}
} // namespace

TEST(Engine, ShapingRulesAndReplaceAll)
{
    EXPECT_EQ(AddressRule("me@x.org"), "MAILTO:me@x.org");
    EXPECT_EQ(AddressRule("@x.org"), "@x.org");
    EXPECT_EQ(OrderLinkRule("hTTp://pay.me/?a=1"),
              "<a href='hTTp://pay.me/?a=1'>Click here to order now</A>");
    EXPECT_EQ(OrderLinkRule("HTTPS://pay.me"), "<a href='HTTPS://pay.me'>Click here to order now</A>");
    EXPECT_EQ(OrderLinkRule("https:/x"), "https:/x");
    EXPECT_EQ(OrderLinkRule("sales@pay.me"), "<a href='mailto:sales@pay.me'>Click here to order now</A>");
    EXPECT_EQ(LineBreakRule("a\r\nb\nc\rd"), "a<BR>b\nc\rd");
    EXPECT_EQ(ReplaceAll("aaaaa", "aa", "b"), "bba");
    EXPECT_EQ(ReplaceAll("xAx", "A", "AA"), "xAAx"); // inserted text is not searched again
    EXPECT_EQ(ReplaceAll("abc", "", "z"), "abc");

    PageData d;
    d.txtOrderWithinHours = "48";
    d.txtBenefits = "one\r\ntwo";
    d.lvwFAQ = {{"q", {"one\r\ntwo"}}};
    EXPECT_EQ(FillTemplateText("<ZOR_PAGE_DATA_ORDER_END_DATE>|<ZOR_PAGE_DATA_BENEFITS>|" + kFaq, d),
              "48|one\r\ntwo|<ZOR_PAGE_DATA_FAQ>[q=one<BR>two]</ZOR_PAGE_DATA_FAQ>");
}

TEST(Engine, BlocksArePutBackByText)
{
    PageData d;
    d.txtSoftwareName = "Tool";
    d.txtCopyRightInfo = "(c)";
    d.lvwFAQ = faqRows(3);
    // Markers in any case are found and stay as written; placeholders must be upper case.
    QString mixed = kFaq + "<zor_page_data_keyword>";
    mixed.replace("ZOR_PAGE_DATA_FAQ>", "zor_page_data_Faq>");
    EXPECT_EQ(FillTemplateText(mixed, d),
              "<zor_page_data_Faq>[q1=a1][q2=a2][q3=a3]</zor_page_data_Faq><zor_page_data_keyword>");
    d.lvwFAQ.resize(2);
    // A body holding an earlier step's placeholder is no longer intact: one copy, unexpanded.
    EXPECT_EQ(FillTemplateText("<ZOR_PAGE_DATA_FAQ><ZOR_PAGE_DATA_SOFTWARENAME>:<ZOR_PAGE_DATA_FAQ_QUESTION>"
                               "</ZOR_PAGE_DATA_FAQ>",
                               d),
              "<ZOR_PAGE_DATA_FAQ>Tool:<ZOR_PAGE_DATA_FAQ_QUESTION></ZOR_PAGE_DATA_FAQ>");
    // A later step's placeholder is copied with each row and filled in every copy.
    EXPECT_EQ(FillTemplateText("<ZOR_PAGE_DATA_FAQ><ZOR_PAGE_DATA_FAQ_QUESTION><ZOR_PAGE_DATA_COPYRIGHT>"
                               "</ZOR_PAGE_DATA_FAQ>",
                               d),
              "<ZOR_PAGE_DATA_FAQ>q1(c)q2(c)</ZOR_PAGE_DATA_FAQ>");
    // The same body text elsewhere is replaced there too; a second block with another body is not.
    EXPECT_EQ(FillTemplateText("<ZOR_PAGE_DATA_FAQ>(<ZOR_PAGE_DATA_FAQ_QUESTION>)</ZOR_PAGE_DATA_FAQ>|"
                               "(<ZOR_PAGE_DATA_FAQ_QUESTION>)|"
                               "<ZOR_PAGE_DATA_FAQ><ZOR_PAGE_DATA_FAQ_ANSWER></ZOR_PAGE_DATA_FAQ>",
                               d),
              "<ZOR_PAGE_DATA_FAQ>(q1)(q2)</ZOR_PAGE_DATA_FAQ>|(q1)(q2)|"
              "<ZOR_PAGE_DATA_FAQ><ZOR_PAGE_DATA_FAQ_ANSWER></ZOR_PAGE_DATA_FAQ>");
    // Zero rows leave the markers alone; a missing or misplaced closing marker leaves the region untouched.
    d.lvwFAQ.clear();
    EXPECT_EQ(FillTemplateText(kFaq, d), "<ZOR_PAGE_DATA_FAQ></ZOR_PAGE_DATA_FAQ>");
    d.lvwFeatures = faqRows(2);
    for (const QString tpl :
         {"<ZOR_PAGE_DATA_FEATURES>x<ZOR_PAGE_DATA_FEATURES_NAME>",
          "</ZOR_PAGE_DATA_FEATURES>x<ZOR_PAGE_DATA_FEATURES><ZOR_PAGE_DATA_FEATURES_NAME></"
          "ZOR_PAGE_DATA_FEATURES>"})
        EXPECT_EQ(FillTemplateText(tpl, d), tpl);
}

TEST(Engine, LaterStepsSeeEarlierInsertions)
{
    PageData d;
    d.txtKeywords = "k <ZOR_PAGE_DATA_ONELINER>";
    d.txtOneLiner = "fast";
    d.txtSoftwareName = "<ZOR_PAGE_DATA_KEYWORD>"; // keywords came first: stays
    d.lvwTestimonial = {{"Ann", {"CEO", "says <ZOR_PAGE_DATA_TESTIMONIAL_NAME_1>"}}};
    EXPECT_EQ(
        FillTemplateText("<ZOR_PAGE_DATA_KEYWORD>|<ZOR_PAGE_DATA_SOFTWARENAME>|"
                         "<ZOR_PAGE_DATA_TESTIMONIAL_1><ZOR_PAGE_DATA_TESTIMONIAL_INFO_1>"
                         "</ZOR_PAGE_DATA_TESTIMONIAL_1>|<ZOR_PAGE_DATA_FAQ_QUESTION>",
                         d),
        "k fast|<ZOR_PAGE_DATA_KEYWORD>|<ZOR_PAGE_DATA_TESTIMONIAL_1>says Ann</ZOR_PAGE_DATA_TESTIMONIAL_1>|"
        "<ZOR_PAGE_DATA_FAQ_QUESTION>");
}

TEST(Engine, TestimonialSplit)
{
    const QString tpl = "<ZOR_PAGE_DATA_TESTIMONIAL_1>[<ZOR_PAGE_DATA_TESTIMONIAL_NAME_1>,"
                        "<ZOR_PAGE_DATA_TESTIMONIAL_CONTACT_1>,<ZOR_PAGE_DATA_TESTIMONIAL_INFO_1>]"
                        "</ZOR_PAGE_DATA_TESTIMONIAL_1>|<ZOR_PAGE_DATA_TESTIMONIAL_2>"
                        "(<ZOR_PAGE_DATA_TESTIMONIAL_NAME_2>)</ZOR_PAGE_DATA_TESTIMONIAL_2>";
    const char *expected[] = {"|",
                              "[n1,c1,t1<BR>x]|",
                              "[n1,c1,t1<BR>x]|(n2)",
                              "[n1,c1,t1<BR>x][n2,c2,t2<BR>x]|(n3)",
                              "[n1,c1,t1<BR>x][n2,c2,t2<BR>x]|(n3)(n4)",
                              "[n1,c1,t1<BR>x][n2,c2,t2<BR>x]|(n3)(n4)(n5)"};
    PageData d;
    for (int n = 0; n <= 5; ++n) {
        QString page = FillTemplateText(tpl, d);
        page.remove("<ZOR_PAGE_DATA_TESTIMONIAL_1>").remove("</ZOR_PAGE_DATA_TESTIMONIAL_1>");
        page.remove("<ZOR_PAGE_DATA_TESTIMONIAL_2>").remove("</ZOR_PAGE_DATA_TESTIMONIAL_2>");
        EXPECT_EQ(page, expected[n]) << n << " rows";
        const QString i = QString::number(n + 1);
        d.lvwTestimonial.append({"n" + i, {"c" + i, "t" + i + "\r\nx"}});
    }
}

TEST(Engine, OptionalBlocksAndImageRule)
{
    QTemporaryDir dir;
    const QString image = dir.filePath("shot.png");
    ASSERT_TRUE(testing_support::writeAll(image, "png"));
    const QString tpl =
        "<ZOR_PAGE_DATA_IMAGE>[<ZOR_PAGE_DATA_IMAGE_SOURCE>|<ZOR_PAGE_DATA_IMAGE_CAPTION>]"
        "</ZOR_PAGE_DATA_IMAGE><ZOR_PAGE_DATA_TRY><ZOR_PAGE_DATA_TRYURL></ZOR_PAGE_DATA_TRY>"
        "<ZOR_PAGE_DATA_NOT_CONVINCED><ZOR_PAGE_DATA_NOT_CONVINCED_DATA></ZOR_PAGE_DATA_NOT_CONVINCED>";
    PageData d;
    d.txtProductCaption = "cap";
    d.txtDownloadURL = "   ";
    EXPECT_EQ(FillTemplateText(tpl, d),
              "<ZOR_PAGE_DATA_IMAGE></ZOR_PAGE_DATA_IMAGE><ZOR_PAGE_DATA_TRY>"
              "</ZOR_PAGE_DATA_TRY><ZOR_PAGE_DATA_NOT_CONVINCED></ZOR_PAGE_DATA_NOT_CONVINCED>");
    d.txtProductImage = dir.filePath("missing.png");
    d.txtDownloadURL = " http://d ";
    d.txtOrderLaterIncentive = " later ";
    EXPECT_EQ(FillTemplateText(tpl, d),
              "<ZOR_PAGE_DATA_IMAGE>[|cap]</ZOR_PAGE_DATA_IMAGE><ZOR_PAGE_DATA_TRY> http://d "
              "</ZOR_PAGE_DATA_TRY><ZOR_PAGE_DATA_NOT_CONVINCED> later "
              "</ZOR_PAGE_DATA_NOT_CONVINCED>");
    d.txtProductImage = image;
    EXPECT_TRUE(FillTemplateText(tpl, d).startsWith("<ZOR_PAGE_DATA_IMAGE>[shot.png|cap]"));
}
