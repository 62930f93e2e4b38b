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

PageData twoVersions()
{
    PageData d = testing_support::LoadSampleProduct(testing_support::sourceDir());
    d.txtSpecialPrice = "$29";
    d.txtPurchaseURL = "https://ledgerlark.example/buy";
    d.txtButtonText = "Get Ledgerlark";
    d.chkTryVariantB = "1";
    d.txtOneLinerB = "Books that <em>balance</em> themselves";
    d.txtButtonTextB = "Start balancing";
    d.txtSpecialPriceB = "$24";
    return d;
}

} // namespace

TEST(Variants, ButtonWordsAreTheVendorsOrTheUsualOnes)
{
    EXPECT_EQ(OrderLinkRule("https://pay.me", OrderLinkWords("  ")),
              "<a href='https://pay.me'>Click here to order now</A>");
    EXPECT_EQ(OrderLinkRule("sales@pay.me", OrderLinkWords("Buy it")), "<a href='mailto:sales@pay.me'>Buy it</A>");
    PageData d = testing_support::MinimalProduct();
    d.txtButtonText = "Get Quillpad";
    EXPECT_TRUE(fill("Clarity", d).contains("<a href='http://quillpad.example/buy'>Get Quillpad</A>"));
}

// Each version shown alone is exactly the page its answers make; B's texts are out of the
// readable page, and the head keeps version A's words for search results.
TEST(Variants, BothVersionsLiveInOnePage)
{
    const PageData d = twoVersions();
    PageData onlyA = d;
    onlyA.chkTryVariantB.clear();
    const QStringList names =
        QDir(testing_support::sourceDir() + "/templates").entryList({"*.htm"}).replaceInStrings(".htm", "");
    ASSERT_FALSE(names.isEmpty());
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString page = fill(name, d);
        EXPECT_EQ(ShowVariant(page, 'a').toStdString(), fill(name, onlyA).toStdString());
        // Search results show one version: B keeps A's words in the head and in attributes.
        const QString b = ShowVariant(page, 'b');
        const QString alone = fill(name, VariantBAnswers(d))
                                  .replace("content=\"" + EscapeAttribute(d.txtOneLinerB) + "\"",
                                           "content=\"" + EscapeAttribute(d.txtOneLiner) + "\"");
        EXPECT_EQ(b.mid(b.indexOf("<body")).toStdString(), alone.mid(alone.indexOf("<body")).toStdString());
        const qsizetype open = page.indexOf("<template id=\"qm-variant-b\">");
        const qsizetype close = page.indexOf("</template>", open);
        ASSERT_GT(open, page.indexOf("<body"));
        ASSERT_GT(close, open);
        const QString readable = page.left(open) + page.mid(close);
        for (const char *b : {"balance</em> themselves", "Start balancing", "$24"})
            EXPECT_FALSE(readable.contains(b)) << b;
        EXPECT_TRUE(readable.contains("Get Ledgerlark</span>"));
        EXPECT_LT(page.indexOf("localStorage"), page.indexOf("</head>"));
    }
    // Nothing differs: no template, but the visitor still gets a version to count by.
    PageData same = d;
    same.txtOneLinerB = same.txtOneLiner;
    same.txtButtonTextB.clear();
    same.txtSpecialPriceB = " ";
    const QString page = fill("Clarity", same);
    EXPECT_FALSE(page.contains("<template"));
    EXPECT_TRUE(page.contains("data-variant"));
    // A B text cannot end the template early and show itself to everyone.
    PageData hostile = d;
    hostile.txtOneLinerB = "x</TEMPLATE><h1>B for all</h1>";
    const QString broken = fill("Clarity", hostile);
    EXPECT_EQ(broken.count("</template>", Qt::CaseInsensitive), 1);
}

TEST(Variants, KeepingOneVersionMakesItThePage)
{
    const PageData d = twoVersions();
    PageData a = d, b = d;
    KeepVariant(a, 'a');
    KeepVariant(b, 'b');
    EXPECT_EQ(a.txtOneLiner, d.txtOneLiner);
    EXPECT_EQ(a.txtSpecialPrice, "$29");
    EXPECT_EQ(b.txtOneLiner, d.txtOneLinerB);
    EXPECT_EQ(b.txtButtonText, "Start balancing");
    EXPECT_EQ(b.txtSpecialPrice, "$24");
    for (const PageData *kept : {&a, &b})
        EXPECT_EQ(kept->chkTryVariantB + kept->txtOneLinerB + kept->txtButtonTextB + kept->txtSpecialPriceB, "");
    PageData partly = d;
    partly.txtSpecialPriceB = " ";
    KeepVariant(partly, 'b');
    EXPECT_EQ(partly.txtSpecialPrice, "$29"); // a blank B answer keeps A's
}

TEST(Variants, CountingGoesOnlyWhereTheVendorSaid)
{
    // clang-format off
    const struct { const char *service, *address, *target; } cases[] = {
        {"", "shop.test", ""},
        {"none", "shop.test", ""},
        {"plausible", "shop.test", "https://plausible.io/api/event"},
        {"plausible", "https://shop.test", ""},
        {"umami", "94db1cb1-74f4-4a40-ad6c-962362670409", "https://cloud.umami.is/api/send"},
        {"umami", "a'b", ""},
        {"goatcounter", "ledger", "https://ledger.goatcounter.com/count"},
        {"goatcounter", "https://stats.shop.test/count", "https://stats.shop.test/count"},
        {"endpoint", " http://127.0.0.1:8080/hit ", "http://127.0.0.1:8080/hit"},
        {"endpoint", "/count", "/count"},
        {"endpoint", "//evil.test/x", ""},
        {"endpoint", "javascript:alert(1)", ""},
    };
    // clang-format on
    for (const auto &c : cases) {
        PageData d = testing_support::MinimalProduct();
        d.cmbCounting = c.service;
        d.txtCountingAddress = c.address;
        SCOPED_TRACE(std::string(c.service) + " " + c.address);
        EXPECT_EQ(CountingAddress(d), c.target);
        const QString page = fill("Clarity", d);
        if (QString(c.target).isEmpty()) {
            EXPECT_FALSE(page.contains("sendBeacon") || page.contains("fetch(")) << "counts nothing";
            continue;
        }
        const qsizetype script = page.indexOf("<script>(function(){var A=\"" + QString(c.target) + "\"");
        EXPECT_GT(script, 0);
        EXPECT_EQ(page.indexOf("</script>", script) + 9, page.lastIndexOf("</body>")) << "at the end of the body";
        EXPECT_TRUE(page.contains("'order'") && page.contains(R"("http:\/\/quillpad.example\/buy")"));
    }
    PageData d = testing_support::MinimalProduct();
    d.cmbCounting = "plausible";
    d.txtCountingAddress = "shop.test";
    d.txtPurchaseURL = "http://x.test/</script><script>alert(1)//";
    EXPECT_FALSE(CountingScript(d).contains("</script><script>alert"));
}
