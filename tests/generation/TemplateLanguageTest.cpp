// The template engine (shaping rules, step order, block bodies, the testimonial split)
// and its language beyond plain replacement: values escaped where they stand inside a
// tag or a script, conditional blocks, and the answers a template uses.
#include "generation/TemplateLanguage.h"
#include "common/TestSupport.h"
#include "generation/Fields.h"
#include "generation/modTemplates.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <utility>

using namespace generation;

namespace {

const QString kTyped = "a\"b'<i>&c";
const QString kAttr = "a&quot;b&#39;&lt;i&gt;&amp;c";

// Each single placeholder with the field that fills it and whether the line-break rule applies.
struct Single {
    const char *name;
    QString PageData::*field;
    bool lineBreaks;
    const char *block = nullptr; // the optional block it belongs in
};
const Single kSingles[] = {
    {"PAGE_DATA_KEYWORD", &PageData::txtKeywords, false},
    {"PAGE_DATA_INFO", &PageData::txtExplainIn30Secs, true},
    {"PAGE_DATA_SOFTWARENAME", &PageData::txtSoftwareName, false},
    {"PAGE_DATA_ONELINER", &PageData::txtOneLiner, false},
    {"PAGE_PROBLEM", &PageData::txtProblem, true},
    {"PAGE_DATA_SOLUTION", &PageData::txtProlemSolution, true},
    {"PAGE_DATA_BENEFITS", &PageData::txtBenefits, false},
    {"PAGE_DATA_WHYBETTER", &PageData::txtComparison, false},
    {"PAGE_DATA_MRPRICE", &PageData::txtMRP, false},
    {"PAGE_DATA_ORDER_END_DATE", &PageData::txtOrderWithinHours, false},
    {"PAGE_DATA_NEWPRICE", &PageData::txtSpecialPrice, false},
    {"PAGE_DATA_COPYRIGHT", &PageData::txtCopyRightInfo, false},
    {"PAGE_DATA_IMAGE_CAPTION", &PageData::txtProductCaption, false, "PAGE_DATA_IMAGE"},
    {"PAGE_DATA_TRY_MOTIVATION", &PageData::txtDownloadMessage, false, "PAGE_DATA_TRY"},
    {"PAGE_DATA_TRY_REQUIREMENTS_DATA", &PageData::txtDownloadRequirements, false, "PAGE_DATA_TRY"},
    {"PAGE_DATA_TRY_PROBLEMS_DATA", &PageData::txtDownloadHelp, false, "PAGE_DATA_TRY"},
    {"PAGE_DATA_TRYURL", &PageData::txtDownloadURL, false, "PAGE_DATA_TRY"},
    {"PAGE_DATA_NOT_CONVINCED_DATA", &PageData::txtOrderLaterIncentive, false, "PAGE_DATA_NOT_CONVINCED"}};

const auto ph = [](const QString &name) -> QString { return "<ZOR_" + name + ">"; };
const auto pd = [](const QString &name) { return ph("PAGE_DATA_" + name); };
const auto wrap = [](const QString &marker, const QString &body) {
    return ph(marker) + body + "</ZOR_" + marker + ">";
};
const auto block = [](const QString &name, const QString &body) { return wrap("PAGE_DATA_" + name, body); };
// The placeholder inside a tag and in text: `<p title="X">X</p>`.
const auto bothFilled = [](const QString &attr, const QString &text) -> QString {
    return "<p title=\"" + attr + "\">" + text + "</p>";
};
const auto both = [](const QString &name) { return bothFilled(ph(name), ph(name)); };

} // namespace

TEST(TemplateLanguage, ValuesInsideATagAreEscapedWhileTextStaysAsTyped)
{
    for (const Single &s : kSingles) {
        SCOPED_TRACE(s.name);
        PageData d;
        d.txtDownloadURL = d.txtOrderLaterIncentive = "x"; // keeps the optional blocks
        d.txtProductImage = "none.png";
        d.*(s.field) = kTyped + (s.lineBreaks ? "\r\nz" : "");
        const QString attr = kAttr + (s.lineBreaks ? " z" : ""); // "<BR>" cannot break an attribute
        const QString text = kTyped + (s.lineBreaks ? "<BR>z" : "");
        const QString tpl = s.block ? wrap(s.block, both(s.name)) : both(s.name);
        const QString page = FillTemplateText(tpl, d);
        EXPECT_TRUE(page.contains(bothFilled(attr, text))) << qPrintable(page);
    }

    // The shaping rules come first, then the escaping.
    PageData d;
    d.txtSupportURL = "me@x.org?a=1&b=\"2\"";
    d.txtAffiliateURL = "https://x.org/?a=1&b=2";
    d.txtPurchaseURL = "http://pay/?a=1&b=2";
    EXPECT_EQ(FillTemplateText(both("PAGE_DATA_SUPPORTURL") + both("PAGE_DATA_AFFILIATEURL") +
                                   "<div data-x='" + ph("PAGE_DATA_ORDER_URL") + "'>",
                               d),
              bothFilled("MAILTO:me@x.org?a=1&amp;b=&quot;2&quot;", "MAILTO:" + d.txtSupportURL) +
                  bothFilled("https://x.org/?a=1&amp;b=2", d.txtAffiliateURL) + "<div data-x='" +
                  "&lt;a href=&#39;http://pay/?a=1&amp;amp;b=2&#39;&gt;Click here to order now&lt;/A&gt;" +
                  "'>");

    // Item placeholders of every repeated block, in each copy.
    d.lvwFAQ = {{kTyped, {kTyped + "\r\nz"}}};
    d.lvwFeatures = {{kTyped, {kTyped}}};
    d.lvwTestimonial = {{kTyped, {kTyped, kTyped}}, {kTyped, {kTyped, kTyped}}};
    const std::pair<const char *, QStringList> blocks[] = {
        {"PAGE_DATA_FAQ", {"FAQ_QUESTION", "FAQ_ANSWER"}},
        {"PAGE_DATA_FEATURES", {"FEATURES_NAME", "FEATURES_DETAILS"}},
        {"PAGE_DATA_TESTIMONIAL_1", {"TESTIMONIAL_NAME_1", "TESTIMONIAL_CONTACT_1", "TESTIMONIAL_INFO_1"}},
        {"PAGE_DATA_TESTIMONIAL_2", {"TESTIMONIAL_NAME_2", "TESTIMONIAL_CONTACT_2", "TESTIMONIAL_INFO_2"}}};
    for (const auto &[block, items] : blocks) {
        QString body, expected;
        for (const QString &item : items) {
            body += both("PAGE_DATA_" + item);
            expected +=
                item == "FAQ_ANSWER" ? bothFilled(kAttr + " z", kTyped + "<BR>z") : bothFilled(kAttr, kTyped);
        }
        EXPECT_EQ(FillTemplateText(wrap(block, body), d), wrap(block, expected)) << block;
    }

    // A script gets JSON strings; comments, style sheets and placeholders left unfilled
    // stay as written.
    d.txtSoftwareName = "A \"B\"</script>\\\r\n\u2028\u2029"; // line ends to older script parsers
    const QString rest = "<!-- <a href=\"" + ph("PAGE_DATA_SOFTWARENAME") + "\"> --><style>p{}</style>" +
                         "<a href=\"" + ph("PAGE_DATA_FAQ_QUESTION") + "\" x=\"<zor_page_data_keyword>\">";
    EXPECT_EQ(FillTemplateText("<script type=\"application/ld+json\">{\"name\": \"" +
                                   ph("PAGE_DATA_SOFTWARENAME") + "\"}</script>" + rest,
                               d),
              "<script type=\"application/ld+json\">{\"name\": \"A "
              "\\\"B\\\"\\u003c/script\\u003e\\\\\\r\\n\\u2028\\u2029\"}"
              "</script><!-- <a href=\"" +
                  d.txtSoftwareName + "\"> --><style>p{}</style><a href=\"" + ph("PAGE_DATA_FAQ_QUESTION") +
                  "\" x=\"<zor_page_data_keyword>\">");
    // The same in capitals, the placeholder right at the script's end: still a script,
    // and only up to its end.
    const QString inScript = "A \\\"B\\\"\\u003c/script\\u003e\\\\\\r\\n\\u2028\\u2029";
    EXPECT_EQ(FillTemplateText("<SCRIPT>// " + ph("PAGE_DATA_SOFTWARENAME") + "</SCRIPT><b>" +
                                   ph("PAGE_DATA_SOFTWARENAME") + "</b>",
                               d),
              "<SCRIPT>// " + inScript + "</SCRIPT><b>" + d.txtSoftwareName + "</b>");
    // A line of a longer answer ends in a script as it was typed, not as <BR>.
    d.txtExplainIn30Secs = "one\r\ntwo";
    EXPECT_EQ(FillTemplateText("<script>\"" + ph("PAGE_DATA_INFO") + "\"</script>", d),
              "<script>\"one\\r\\ntwo\"</script>");
}

TEST(TemplateLanguage, ConditionalBlocks)
{
    PageData d;
    d.txtSpecialPrice = "$5";
    d.txtMRP = "  ";
    d.lvwFAQ = {{"q1", {"a1"}}, {"q2", {" "}}};
    d.lvwTestimonial = {{"n1", {"", "t1"}}};
    const QString price = wrap("IF_PAGE_DATA_NEWPRICE", "Now " + ph("PAGE_DATA_NEWPRICE")) +
                          wrap("IFNOT_PAGE_DATA_NEWPRICE", "Ask us");
    const std::pair<QString, QString> cases[] = {
        // Kept and dropped, in any letter case; IFNOT is the opposite.
        {price, "Now $5"},
        {"<Zor_If_Page_Data_MrPrice>was</zor_IF_page_data_mrprice>|" + wrap("ifnot_page_data_mrprice", "-"),
         "|-"},
        {"<zor_if_page_data_mrprice>was</zor_if_page_data_mrprice>!", "!"},
        // Block names: rows, testimonials split, the image, an unknown name (blank).
        {wrap("IF_PAGE_DATA_FAQ", "F") + wrap("IF_PAGE_DATA_FEATURES", "X") +
             wrap("IF_PAGE_DATA_TESTIMONIAL_1", "1") + wrap("IF_PAGE_DATA_TESTIMONIAL_2", "2") +
             wrap("IF_PAGE_DATA_IMAGE", "I") + wrap("IF_NO_SUCH_NAME", "N") + wrap("IFNOT_NO_SUCH_NAME", "n"),
         "F1n"},
        // Nested in one another, with the same name too; a dropped body takes its nested blocks.
        {wrap("IF_PAGE_DATA_NEWPRICE",
              "a" + wrap("IF_PAGE_DATA_NEWPRICE", "b" + wrap("IF_PAGE_DATA_MRPRICE", "c")) + "d"),
         "abd"},
        {wrap("IF_PAGE_DATA_MRPRICE",
              "a" + wrap("IF_PAGE_DATA_MRPRICE", "b") + wrap("IFNOT_PAGE_DATA_MRPRICE", "c")),
         ""},
        // Around and inside a repeated block: the inner condition is decided per row.
        {wrap(
             "IF_PAGE_DATA_FAQ",
             "<dl>" +
                 wrap("PAGE_DATA_FAQ", "[" + ph("PAGE_DATA_FAQ_QUESTION") +
                                           wrap("if_page_data_faq_answer", "=" + ph("PAGE_DATA_FAQ_ANSWER")) +
                                           wrap("IFNOT_PAGE_DATA_FAQ_ANSWER", "?") + "]") +
                 "</dl>"),
         "<dl>" + wrap("PAGE_DATA_FAQ", "[q1=a1][q2?]") + "</dl>"},
        {wrap("PAGE_DATA_TESTIMONIAL_1",
              ph("PAGE_DATA_TESTIMONIAL_NAME_1") +
                  wrap("IF_PAGE_DATA_TESTIMONIAL_CONTACT_1", ", " + ph("PAGE_DATA_TESTIMONIAL_CONTACT_1"))),
         wrap("PAGE_DATA_TESTIMONIAL_1", "n1")},
        // A row's condition outside its block has no row: blank.
        {wrap("IF_PAGE_DATA_FAQ_QUESTION", "q") + wrap("IFNOT_PAGE_DATA_FAQ_QUESTION", "-"), "-"},
        // A marker without its partner goes; the text around it stays.
        {"x</ZOR_IF_PAGE_DATA_MRPRICE>y<ZOR_IF_PAGE_DATA_NEWPRICE>z", "xyz"},
        {"<ZOR_IF_PAGE_DATA_NEWPRICE>a<ZOR_IF_PAGE_DATA_MRPRICE>b</ZOR_IF_PAGE_DATA_NEWPRICE>", "ab"}};
    for (const auto &[tpl, page] : cases)
        EXPECT_EQ(FillTemplateText(tpl, d), page) << qPrintable(tpl);
}

TEST(TemplateLanguage, EmptyAnswersTheTemplateUses)
{
    PageData d;
    d.txtSoftwareName = "Tool";
    d.lvwFeatures = {{"f", {"d"}}};
    const QString tpl = ph("PAGE_DATA_SOFTWARENAME") + wrap("if_page_data_mrprice", "") +
                        wrap("PAGE_DATA_FEATURES", "") + wrap("PAGE_DATA_faq", "") +
                        ph("PAGE_DATA_ORDER_URL") + ph("PAGE_DATA_KEYWORD");
    EXPECT_EQ(EmptyAnswersUsed(tpl, d), QStringList({"txtKeywords", "lvwFAQ", "txtPurchaseURL", "txtMRP"}));
    EXPECT_TRUE(EmptyAnswersUsed("<p>no placeholders</p>", d).isEmpty());
    // Each placeholder names the answer that fills it, and the answer's record field.
    for (const Single &s : kSingles) {
        const QStringList empty = EmptyAnswersUsed(ph(s.name), PageData());
        ASSERT_EQ(empty.size(), 1) << s.name;
        const Field *field = FindField(empty.first());
        ASSERT_NE(field, nullptr) << s.name;
        EXPECT_EQ(field->text, s.field) << s.name;
    }
}

TEST(Engine, ShapingRulesAndReplaceAll)
{
    EXPECT_EQ(AddressRule("me@x.org"), "MAILTO:me@x.org");
    EXPECT_EQ(AddressRule("@x.org"), "@x.org");
    // Web addresses with an "@" in them stay links to the web.
    EXPECT_EQ(AddressRule("https://social.example/@maker"), "https://social.example/@maker");
    EXPECT_EQ(AddressRule("example.org/@maker"), "example.org/@maker");
    const QString order = "'>Click here to order now</A>";
    EXPECT_EQ(OrderLinkRule("hTTp://pay.me/?a=1"), "<a href='hTTp://pay.me/?a=1" + order);
    EXPECT_EQ(OrderLinkRule("HTTPS://pay.me"), "<a href='HTTPS://pay.me" + order);
    EXPECT_EQ(OrderLinkRule("sales@pay.me"), "<a href='mailto:sales@pay.me" + order);
    EXPECT_EQ(OrderLinkRule("pay.me/@shop"), "pay.me/@shop");
    EXPECT_EQ(OrderLinkRule("https:/x"), "https:/x");
    EXPECT_EQ(OrderLinkRule("@pay.me"), "@pay.me"); // no one before the "@": no mail address
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
    const QString q = pd("FAQ_QUESTION");
    const std::pair<QString, QString> cases[] = {
        // As typed, with line breaks; later steps see earlier insertions, earlier ones do not.
        {pd("ORDER_END_DATE") + pd("BENEFITS") + block("FAQ", "[" + q + "=" + pd("FAQ_ANSWER") + "]"),
         "48one\r\ntwo" + block("FAQ", "[q1=a<BR>1][q2=a2]")},
        {pd("KEYWORD") + pd("SOFTWARENAME") + block("TESTIMONIAL_1", pd("TESTIMONIAL_INFO_1")) + q,
         "k fast" + pd("KEYWORD") + block("TESTIMONIAL_1", "says Ann") + q},
        // Markers in any case are found and stay as written; placeholders must be upper case.
        {"<zor_page_data_Faq>(" + q + ")</ZOR_PAGE_data_faq><zor_page_data_keyword>",
         "<zor_page_data_Faq>(q1)(q2)</ZOR_PAGE_data_faq><zor_page_data_keyword>"},
        // A body holding an earlier step's placeholder is no longer intact: one copy, unexpanded.
        {block("FAQ", pd("ONELINER") + ":" + q), block("FAQ", "fast:" + q)},
        // A later step's placeholder is copied with each row and filled in every copy.
        {block("FAQ", q + pd("COPYRIGHT")), block("FAQ", "q1(c)q2(c)")},
        // The same body text elsewhere is replaced there too; a block with another body is not.
        {block("FAQ", "(" + q + ")") + "|(" + q + ")|" + block("FAQ", pd("FAQ_ANSWER")),
         block("FAQ", "(q1)(q2)") + "|(q1)(q2)|" + block("FAQ", pd("FAQ_ANSWER"))},
        // No rows: the markers stay; a missing or misplaced closing marker: no block.
        {block("FEATURES", pd("FEATURES_NAME")), block("FEATURES", "")},
        {pd("FAQ") + "x" + q, pd("FAQ") + "x" + q},
        {"</ZOR_PAGE_DATA_FAQ>x" + block("FAQ", q), "</ZOR_PAGE_DATA_FAQ>x" + block("FAQ", q)}};
    for (const auto &[tpl, page] : cases)
        EXPECT_EQ(FillTemplateText(tpl, d), page) << qPrintable(tpl);
}

TEST(Engine, TestimonialSplit)
{
    const QString tpl =
        block("TESTIMONIAL_1", "[" + pd("TESTIMONIAL_NAME_1") + "," + pd("TESTIMONIAL_CONTACT_1") + "," +
                                   pd("TESTIMONIAL_INFO_1") + "]") +
        "|" + block("TESTIMONIAL_2", "(" + pd("TESTIMONIAL_NAME_2") + ")");
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
    const QString tpl = block("IMAGE", "[" + pd("IMAGE_SOURCE") + "|" + pd("IMAGE_CAPTION") + "]") +
                        block("TRY", pd("TRYURL")) + block("NOT_CONVINCED", pd("NOT_CONVINCED_DATA"));
    PageData d;
    d.txtProductCaption = "cap";
    d.txtDownloadURL = "   ";
    d.txtOrderLaterIncentive = "   ";
    EXPECT_EQ(FillTemplateText(tpl, d), block("IMAGE", "") + block("TRY", "") + block("NOT_CONVINCED", ""));
    // The counting script goes at the end of the body, however the template writes it,
    // and whatever "</body>" an earlier comment holds.
    PageData counted = d;
    counted.cmbCounting = "endpoint";
    counted.txtCountingAddress = "/count";
    const QString page = FillTemplateText("<HTML><BODY><!-- </body> -->x</BODY></HTML>", counted);
    EXPECT_TRUE(page.startsWith("<HTML><BODY><!-- </body> -->x<script>") &&
                page.endsWith("</script></BODY></HTML>"))
        << qPrintable(page);
    d.txtProductImage = dir.filePath("missing.png"); // named but missing: the block without a name
    d.txtDownloadURL = " http://d ";
    d.txtOrderLaterIncentive = " later ";
    EXPECT_EQ(FillTemplateText(tpl, d),
              block("IMAGE", "[|cap]") + block("TRY", " http://d ") + block("NOT_CONVINCED", " later "));
    d.txtProductImage = dir.filePath("shot.png");
    EXPECT_TRUE(FillTemplateText(tpl, d).startsWith(block("IMAGE", "[shot.png|cap]")));
}
