// The template engine: shaping rules, step order, block bodies, the testimonial split.
#include "common/TestSupport.h"
#include "generation/modTemplates.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <utility>

using namespace generation;

namespace {
QString ph(const QString &name)
{
    return "<ZOR_PAGE_DATA_" + name + ">";
}
QString block(const QString &name, const QString &body)
{
    return ph(name) + body + "</ZOR_PAGE_DATA_" + name + ">";
}
} // namespace

TEST(Engine, ShapingRulesAndReplaceAll)
{
    EXPECT_EQ(AddressRule("me@x.org"), "MAILTO:me@x.org");
    EXPECT_EQ(AddressRule("@x.org"), "@x.org");
    const QString order = "'>Click here to order now</A>";
    EXPECT_EQ(OrderLinkRule("hTTp://pay.me/?a=1"), "<a href='hTTp://pay.me/?a=1" + order);
    EXPECT_EQ(OrderLinkRule("HTTPS://pay.me"), "<a href='HTTPS://pay.me" + order);
    EXPECT_EQ(OrderLinkRule("sales@pay.me"), "<a href='mailto:sales@pay.me" + order);
    EXPECT_EQ(OrderLinkRule("https:/x"), "https:/x");
    // The address stays inside its attribute, whatever quotes it holds.
    EXPECT_EQ(OrderLinkRule("http://x' onmouseover='a(\"&<>\")"),
              "<a href='http://x&#39; onmouseover=&#39;a(&quot;&amp;&lt;&gt;&quot;)" + order);
    EXPECT_EQ(OrderLinkRule("'@x"), "<a href='mailto:&#39;@x" + order);
    EXPECT_EQ(LineBreakRule("a\r\nb\nc\rd"), "a<BR>b\nc\rd");
    EXPECT_EQ(ReplaceAll("aaaaa", "aa", "b"), "bba");
    EXPECT_EQ(ReplaceAll("xAx", "A", "AA"), "xAAx"); // inserted text is not searched again
    EXPECT_EQ(ReplaceAll("abc", "", "z"), "abc");
}

TEST(Engine, StepOrderAndBlockBodies)
{
    PageData d;
    d.txtKeywords = "k <ZOR_PAGE_DATA_ONELINER>";
    d.txtOneLiner = "fast";
    d.txtSoftwareName = "<ZOR_PAGE_DATA_KEYWORD>"; // keywords came first: stays
    d.txtBenefits = "one\r\ntwo";
    d.txtOrderWithinHours = "48";
    d.txtCopyRightInfo = "(c)";
    d.lvwFAQ = {{"q1", {"a\r\n1"}}, {"q2", {"a2"}}};
    d.lvwTestimonial = {{"Ann", {"CEO", "says <ZOR_PAGE_DATA_TESTIMONIAL_NAME_1>"}}};
    const QString q = ph("FAQ_QUESTION");
    const std::pair<QString, QString> cases[] = {
        // As typed, with line breaks; later steps see earlier insertions, earlier ones do not.
        {ph("ORDER_END_DATE") + ph("BENEFITS") + block("FAQ", "[" + q + "=" + ph("FAQ_ANSWER") + "]"),
         "48one\r\ntwo" + block("FAQ", "[q1=a<BR>1][q2=a2]")},
        {ph("KEYWORD") + ph("SOFTWARENAME") + block("TESTIMONIAL_1", ph("TESTIMONIAL_INFO_1")) + q,
         "k fast" + ph("KEYWORD") + block("TESTIMONIAL_1", "says Ann") + q},
        // Markers in any case are found and stay as written; placeholders must be upper case.
        {"<zor_page_data_Faq>(" + q + ")</ZOR_PAGE_data_faq><zor_page_data_keyword>",
         "<zor_page_data_Faq>(q1)(q2)</ZOR_PAGE_data_faq><zor_page_data_keyword>"},
        // A body holding an earlier step's placeholder is no longer intact: one copy, unexpanded.
        {block("FAQ", ph("ONELINER") + ":" + q), block("FAQ", "fast:" + q)},
        // A later step's placeholder is copied with each row and filled in every copy.
        {block("FAQ", q + ph("COPYRIGHT")), block("FAQ", "q1(c)q2(c)")},
        // The same body text elsewhere is replaced there too; a block with another body is not.
        {block("FAQ", "(" + q + ")") + "|(" + q + ")|" + block("FAQ", ph("FAQ_ANSWER")),
         block("FAQ", "(q1)(q2)") + "|(q1)(q2)|" + block("FAQ", ph("FAQ_ANSWER"))},
        // No rows: the markers stay; a missing or misplaced closing marker: no block.
        {block("FEATURES", ph("FEATURES_NAME")), block("FEATURES", "")},
        {ph("FAQ") + "x" + q, ph("FAQ") + "x" + q},
        {"</ZOR_PAGE_DATA_FAQ>x" + block("FAQ", q), "</ZOR_PAGE_DATA_FAQ>x" + block("FAQ", q)}};
    for (const auto &[tpl, page] : cases)
        EXPECT_EQ(FillTemplateText(tpl, d), page) << qPrintable(tpl);
}

TEST(Engine, TestimonialSplit)
{
    const QString tpl =
        block("TESTIMONIAL_1", "[" + ph("TESTIMONIAL_NAME_1") + "," + ph("TESTIMONIAL_CONTACT_1") + "," +
                                   ph("TESTIMONIAL_INFO_1") + "]") +
        "|" + block("TESTIMONIAL_2", "(" + ph("TESTIMONIAL_NAME_2") + ")");
    const char *expected[] = {"|",
                              "[n1,c1,t1<BR>x]|",
                              "[n1,c1,t1<BR>x]|(n2)",
                              "[n1,c1,t1<BR>x][n2,c2,t2<BR>x]|(n3)",
                              "[n1,c1,t1<BR>x][n2,c2,t2<BR>x]|(n3)(n4)",
                              "[n1,c1,t1<BR>x][n2,c2,t2<BR>x]|(n3)(n4)(n5)"};
    static const QRegularExpression markers("</?ZOR_PAGE_DATA_TESTIMONIAL_[12]>");
    PageData d;
    for (int n = 0; n <= 5; ++n) {
        EXPECT_EQ(FillTemplateText(tpl, d).remove(markers), expected[n]) << n << " rows";
        const QString i = QString::number(n + 1);
        d.lvwTestimonial.append({"n" + i, {"c" + i, "t" + i + "\r\nx"}});
    }
}

TEST(Engine, OptionalBlocksAndImageRule)
{
    QTemporaryDir dir;
    ASSERT_TRUE(testing_support::writeAll(dir.filePath("shot.png"), "png"));
    const QString tpl = block("IMAGE", "[" + ph("IMAGE_SOURCE") + "|" + ph("IMAGE_CAPTION") + "]") +
                        block("TRY", ph("TRYURL")) + block("NOT_CONVINCED", ph("NOT_CONVINCED_DATA"));
    PageData d;
    d.txtProductCaption = "cap";
    d.txtDownloadURL = "   ";
    EXPECT_EQ(FillTemplateText(tpl, d), block("IMAGE", "") + block("TRY", "") + block("NOT_CONVINCED", ""));
    d.txtProductImage = dir.filePath("missing.png"); // named but missing: the block without a name
    d.txtDownloadURL = " http://d ";
    d.txtOrderLaterIncentive = " later ";
    EXPECT_EQ(FillTemplateText(tpl, d),
              block("IMAGE", "[|cap]") + block("TRY", " http://d ") + block("NOT_CONVINCED", " later "));
    d.txtProductImage = dir.filePath("shot.png");
    EXPECT_TRUE(FillTemplateText(tpl, d).startsWith(block("IMAGE", "[shot.png|cap]")));
}
