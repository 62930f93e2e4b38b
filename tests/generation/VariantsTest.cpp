// The vendor's button words, a page with two versions and the counting snippet.
#include "generation/Variants.h"
#include "SampleProducts.h"
#include "common/TestSupport.h"
#include "generation/TemplateLanguage.h"
#include "generation/modTemplates.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace generation;

namespace {

QString fill(const QString &name, const PageData &d)
{
    return FillTemplate(testing_support::sourceDir() + "/templates/" + name + ".htm", d);
}

} // namespace

// Each version shown alone is the page its own answers make (the button words included);
// B's texts are out of the readable page, and its head and attributes keep A's words.
TEST(Variants, BothVersionsLiveInOnePage)
{
    PageData d = testing_support::LoadSampleProduct(testing_support::sourceDir());
    d.txtSpecialPrice = "$29";
    d.txtPurchaseURL = "https://ledgerlark.example/buy";
    d.txtButtonText = "Get Ledgerlark";
    d.chkTryVariantB = "1";
    d.txtOneLinerB = "Books that <em>balance</em> themselves";
    d.txtButtonTextB = "Start balancing";
    d.txtSpecialPriceB = "$24";
    PageData onlyA = d;
    onlyA.chkTryVariantB.clear();
    QStringList names = QDir(testing_support::sourceDir() + "/templates").entryList({"*.htm"});
    for (const QString &name : names.replaceInStrings(".htm", "")) {
        SCOPED_TRACE(name.toStdString());
        const QString page = fill(name, d), b = ShowVariant(page, 'b');
        EXPECT_EQ(ShowVariant(page, 'a').toStdString(), fill(name, onlyA).toStdString());
        const QString alone = fill(name, VariantBAnswers(d))
                                  .replace("content=\"" + EscapeAttribute(d.txtOneLinerB) + "\"",
                                           "content=\"" + EscapeAttribute(d.txtOneLiner) + "\"");
        EXPECT_EQ(b.mid(b.indexOf("<body")).toStdString(), alone.mid(alone.indexOf("<body")).toStdString());
        const qsizetype open = page.indexOf("<template id=\"qm-variant-b\">");
        ASSERT_GT(open, page.indexOf("<body"));
        const QString readable = page.left(open) + page.mid(page.indexOf("</template>", open));
        for (const char *text : {"balance</em> themselves", "Start balancing", "$24"})
            EXPECT_FALSE(readable.contains(text)) << text;
        EXPECT_TRUE(readable.contains(">Get Ledgerlark</span>"));
    }
    // Nothing differs: no B texts, but each visitor still gets a version to count by.
    PageData same = d;
    same.txtOneLinerB = same.txtOneLiner;
    same.txtButtonTextB = same.txtSpecialPriceB = " ";
    EXPECT_FALSE(fill("Clarity", same).contains("<template"));
    EXPECT_TRUE(fill("Clarity", same).contains("data-variant"));
    // A B text cannot close the template early and show itself to everyone.
    same.txtOneLinerB = "x</TEMPLATE><h1>B for all</h1>";
    EXPECT_EQ(fill("Clarity", same).count("</template>", Qt::CaseInsensitive), 1);
    // A vendor's own template written in capitals gets the choice too.
    EXPECT_TRUE(
        FillTemplateText("<HTML><HEAD><TITLE>T</TITLE></HEAD><BODY><ZOR_PAGE_DATA_ONELINER></BODY>", d)
            .contains("data-variant"));

    // Keeping the winner: its answers become the only ones.
    PageData kept = d;
    KeepVariant(kept, 'b');
    EXPECT_EQ(kept.txtOneLiner, d.txtOneLinerB);
    EXPECT_EQ(kept.txtButtonText, "Start balancing");
    EXPECT_TRUE(kept.txtOneLinerB.isEmpty() && !TriesVariantB(kept));
    kept = d;
    KeepVariant(kept, 'a');
    EXPECT_EQ(kept.txtOneLiner, d.txtOneLiner);
    EXPECT_EQ(kept.txtSpecialPrice, "$29");
    EXPECT_TRUE(kept.txtSpecialPriceB.isEmpty() && !TriesVariantB(kept));
}

TEST(Variants, CountingGoesOnlyWhereTheVendorSaid)
{
    // clang-format off
    const struct { const char *service, *address, *target; } cases[] = {
        {"", "shop.test", ""}, {"none", "shop.test", ""}, {" Plausible", "shop.test", "https://plausible.io/api/event"},
        {"umami", " ", ""},
        {"plausible", "shop.test", "https://plausible.io/api/event"}, {"plausible", "https://shop.test", ""},
        {"umami", "94db1cb1-74f4-4a40-ad6c-962362670409", "https://cloud.umami.is/api/send"}, {"umami", "a'b", ""},
        {"goatcounter", "ledger", "https://ledger.goatcounter.com/count"},
        {"goatcounter", "https://stats.shop.test/count", "https://stats.shop.test/count"},
        {"endpoint", " http://127.0.0.1:8080/hit ", "http://127.0.0.1:8080/hit"}, {"endpoint", "/count", "/count"},
        {"endpoint", "//evil.test/x", ""}, {"endpoint", "javascript:alert(1)", ""}};
    // clang-format on
    for (const auto &c : cases) {
        PageData d = testing_support::MinimalProduct();
        d.cmbCounting = c.service;
        d.txtCountingAddress = c.address;
        SCOPED_TRACE(std::string(c.service) + " " + c.address);
        EXPECT_EQ(CountingAddress(d), c.target);
        const QString page = fill("Clarity", d);
        const qsizetype script = page.indexOf("<script>(function(){var A=\"" + QString(c.target) + "\"");
        EXPECT_EQ(script > 0, *c.target != 0);
        if (script > 0) { // at the end of the body, and knowing the order link
            EXPECT_EQ(page.indexOf("</script>", script) + 9, page.lastIndexOf("</body>"));
        }
        EXPECT_EQ(page.contains(R"("http:\/\/quillpad.example\/buy")"), *c.target != 0);
    }
    PageData d = testing_support::MinimalProduct();
    d.cmbCounting = "plausible";
    d.txtCountingAddress = "shop.test";
    d.txtPurchaseURL = "http://x.test/</script><script>alert(1)//";
    EXPECT_FALSE(CountingScript(d).contains("</script><script>alert"));
    d.txtPurchaseURL = "https://x.test/buy";
    EXPECT_TRUE(CountingScript(d).contains(R"(O=["https:\/\/x.test\/buy"])"))
        << qPrintable(CountingScript(d));
}
