// What search engines, link previews and validators read: the page's web address and
// what is made from it, the structured data, the sitemap, and the published copy.
#include "generation/SearchData.h"
#include "SampleProducts.h"
#include "common/RecordingDialogs.h"
#include "common/TestSupport.h"
#include "generation/AnswerSafety.h"
#include "generation/FileList.h"
#include "generation/PublishedPage.h"
#include "generation/modTemplates.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace generation;
using testing_support::readAll;

namespace {

QStringList shippedTemplates()
{
    return QDir(testing_support::sourceDir() + "/templates")
        .entryList({"*.htm"})
        .replaceInStrings(".htm", "");
}

QString attributeOf(const QString &page, const QString &tagStart, const char *attribute)
{
    const qsizetype at = page.indexOf(tagStart);
    const QRegularExpression value(QStringLiteral("%1=\"([^\"]*)\"").arg(attribute));
    return at < 0 ? QString() : value.match(page.mid(at, page.indexOf('>', at) - at)).captured(1);
}

} // namespace

TEST(SearchData, PriceReadsOnlyAsAnAmountWithACurrency)
{
    const std::vector<std::tuple<const char *, const char *, const char *>> reads = {
        {"$49", "49", "USD"},
        {"49 EUR", "49", "EUR"},
        {"\u00a319.99", "19.99", "GBP"},
        {" 1.299,00 \u20ac", "1299.00", "EUR"},
        {"US$ 1,299", "1299", "USD"},
        {"eur 5", "5", "EUR"}};
    for (const auto &[text, amount, currency] : reads) {
        Price price;
        ASSERT_TRUE(ReadPrice(QString::fromUtf8(text), price)) << text;
        EXPECT_EQ(price.amount, amount) << text;
        EXPECT_EQ(price.currency, currency) << text;
    }
    for (const char *text : {"49", "Free", "$", "49 MAX", "about $49", "$49 / month", "4.9.9 $", ""}) {
        Price price;
        EXPECT_FALSE(ReadPrice(QString::fromUtf8(text), price)) << text;
    }
}

// With a web address: absolute share picture, canonical link and og:url, JSON-LD that no
// answer can break out of, sitemap and robots.txt listed beside the page; unchanged
// regeneration keeps the sitemap's date; a site's own robots.txt is left alone.
TEST(SearchData, AWebAddressGivesAbsoluteShareDataAndASitemap)
{
    testing_support::RecordingDialogs dialogs;
    const QString appFolder = testing_support::sourceDir();
    PageData d = testing_support::LoadSampleProduct(appFolder);
    d.txtSoftwareName = "Ledger</script><script>alert(1)</script>";
    d.txtSpecialPrice = "49 EUR";
    d.txtPageURL = " shop.test/apps/ledger page.htm";
    EXPECT_EQ(PageAddress(d), "") << "a blank inside is no address";
    d.txtPageURL = " shop.test/apps/ledger.htm ";
    d.chkHtaccess = "1";
    const QString address = "https://shop.test/apps/ledger.htm";
    for (const QString &name : shippedTemplates()) {
        SCOPED_TRACE(name.toStdString());
        QTemporaryDir out;
        const QString pagePath = out.filePath("index.htm");
        testing_support::writeAll(out.filePath("robots.txt"), "User-agent: *\nDisallow: /private\n");
        ASSERT_TRUE(GenerateTemplateBasedPage(appFolder, name, pagePath, d.txtProductImage, d));
        const QString page = QString::fromUtf8(readAll(pagePath));
        EXPECT_EQ(attributeOf(page, "<link rel=\"canonical\"", "href"), address);
        EXPECT_EQ(attributeOf(page, "<meta property=\"og:url\"", "content"), address);
        for (const char *tag : {"<meta property=\"og:image\"", "<meta name=\"twitter:image\""})
            EXPECT_EQ(attributeOf(page, tag, "content"), "https://shop.test/apps/Ledgerlark_screenshot.png");

        const QString open = "<script type=\"application/ld+json\">";
        const qsizetype from = page.indexOf(open) + open.size();
        const QString json = page.mid(from, page.indexOf("</script>", from) - from);
        const QJsonObject data = QJsonDocument::fromJson(json.toUtf8()).object();
        EXPECT_EQ(data["@type"].toString(), "SoftwareApplication") << qPrintable(json);
        EXPECT_EQ(data["name"].toString(), d.txtSoftwareName) << "kept whole, inside its script";
        EXPECT_EQ(data["url"].toString(), address);
        EXPECT_EQ(data["offers"]["price"].toString(), "49");
        EXPECT_EQ(data["offers"]["priceCurrency"].toString(), "EUR");
        EXPECT_FALSE(data.contains("aggregateRating"));

        QStringList listed;
        FileList::Read(FileList::PathFor(pagePath), listed);
        EXPECT_TRUE(listed.contains(out.filePath("sitemap.xml")));
        EXPECT_TRUE(listed.contains(out.filePath(".htaccess")));
        EXPECT_TRUE(readAll(out.filePath(".htaccess")).contains("<IfModule mod_deflate.c>"));
        EXPECT_FALSE(listed.contains(out.filePath("robots.txt"))) << "the site's own robots.txt";
        EXPECT_EQ(readAll(out.filePath("robots.txt")), "User-agent: *\nDisallow: /private\n");
        const QByteArray sitemap = readAll(out.filePath("sitemap.xml"));
        EXPECT_TRUE(sitemap.contains("<loc>" + address.toUtf8() + "</loc>"));
        const QString written = QFileInfo(pagePath).lastModified().toUTC().toString(Qt::ISODate);
        EXPECT_TRUE(sitemap.contains("<lastmod>" + written.toUtf8() + "</lastmod>")) << sitemap.constData();
        QFile::remove(out.filePath("robots.txt"));
        QFile(pagePath).setFileTime(QDateTime::currentDateTimeUtc().addDays(-3),
                                    QFileDevice::FileModificationTime);
        const QString old = QFileInfo(pagePath).lastModified().toUTC().toString(Qt::ISODate);
        ASSERT_TRUE(GenerateTemplateBasedPage(appFolder, name, pagePath, d.txtProductImage, d));
        EXPECT_TRUE(readAll(out.filePath("sitemap.xml")).contains("<lastmod>" + old.toUtf8()))
            << "the page did not change";
        EXPECT_TRUE(
            readAll(out.filePath("robots.txt")).contains("Sitemap: https://shop.test/apps/sitemap.xml"));
    }
}

// Tags that name no element vanish from a page: each answer that holds one is named.
TEST(SearchData, AnswersWithTagsThatAreNoElementsAreNamed)
{
    PageData d;
    d.txtOneLiner = "Use <word> and <b>bold</b>, a < b, <3";
    d.txtKeywords = "<my-widget>, <svg></svg>, <ZOR_PAGE_DATA_ONELINER>";
    d.lvwFAQ = {{"Q", {"Type <filename> here"}}};
    d.txtPurchaseURL = "<buy>"; // a link answer goes into an attribute
    const QStringList warnings = UnknownElementWarnings(d);
    ASSERT_EQ(warnings.size(), 2) << qPrintable(warnings.join('\n'));
    EXPECT_TRUE(warnings[0].contains("\"One-line catch phrase\" holds <word>"));
    EXPECT_TRUE(warnings[1].contains("\"Questions and answers\" holds <filename>"));
}

// The published copy has no block markers (any letter case), maps its places back to
// the page, and every template's is valid HTML to tidy.
TEST(PublishedPage, MarkersGoAndEveryTemplateIsValidHtml)
{
    const QByteArray page = "<p><ZOR_PAGE_DATA_FAQ>a</zor_page_data_faq><ZOR_PAGE_DATA_KEYWORD>"
                            "<ZOR_PAGE_DATA_FAQX>b</p>";
    std::vector<Cut> cuts;
    const QByteArray published = PublishedBytes(page, &cuts);
    EXPECT_EQ(published, "<p>a<ZOR_PAGE_DATA_KEYWORD><ZOR_PAGE_DATA_FAQX>b</p>");
    EXPECT_EQ(OffsetInPage(cuts, published.indexOf("a<")), page.indexOf("a<"));
    EXPECT_EQ(OffsetInPage(cuts, published.indexOf("<ZOR_PAGE_DATA_K")), page.indexOf("<ZOR_PAGE_DATA_K"));
    EXPECT_EQ(OffsetInPage(cuts, 1), 1);

    const QString tidy = QStandardPaths::findExecutable("tidy");
    if (tidy.isEmpty())
        GTEST_SKIP() << "tidy is not installed";
    testing_support::RecordingDialogs dialogs;
    const QString appFolder = testing_support::sourceDir();
    const PageData sample = testing_support::LoadSampleProduct(appFolder);
    for (const QString &name : shippedTemplates()) {
        QTemporaryDir out;
        ASSERT_TRUE(GenerateTemplateBasedPage(appFolder, name, out.filePath("p.htm"), sample.txtProductImage,
                                              sample));
        testing_support::writeAll(out.filePath("sent.htm"), PublishedBytes(readAll(out.filePath("p.htm"))));
        QProcess run;
        run.start(tidy, {"-q", "-e", out.filePath("sent.htm")});
        ASSERT_TRUE(run.waitForFinished(30000));
        // tidy: 0 clean, 1 warnings only, 2 errors.
        EXPECT_LT(run.exitCode(), 2) << name.toStdString() << run.readAllStandardError().constData();
    }
}
