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

} // namespace

TEST(SearchData, PriceReadsOnlyAsAnAmountWithACurrency)
{
    // clang-format off
    const std::pair<const char *, const char *> cases[] = {
        {"$49", "49 USD"}, {"49 EUR", "49 EUR"}, {"\u00a319.99", "19.99 GBP"}, {" 1.299,00 \u20ac", "1299.00 EUR"},
        {"US$ 1,299", "1299 USD"}, {"C$49", "49 CAD"}, {"eur 5", "5 EUR"}, {"49", ""}, {"Free", ""}, {"$", ""}, {"49 MAX", ""},
        {"about $49", ""}, {"$49 / month", ""}, {"4.9.9 $", ""}};
    // clang-format on
    for (const auto &[text, expected] : cases) {
        Price p;
        EXPECT_EQ(ReadPrice(QString::fromUtf8(text), p) ? p.amount + ' ' + p.currency : QString(), expected)
            << text;
    }
}

// With a web address: absolute share picture, canonical link and og:url, structured data,
// sitemap, robots.txt and .htaccess listed beside the page (not the site's own robots.txt);
// unchanged regeneration keeps the sitemap's date; the published copy is valid to tidy.
TEST(SearchData, AWebAddressGivesAbsoluteShareDataAndASitemap)
{
    testing_support::RecordingDialogs dialogs;
    const QString appFolder = testing_support::sourceDir();
    const QString tidy = QStandardPaths::findExecutable("tidy"); // the test skips only that part without it
    PageData d = testing_support::LoadSampleProduct(appFolder);
    d.txtSpecialPrice = "49 EUR";
    d.txtPageURL = " shop.test/apps/ledger.htm ";
    d.chkHtaccess = "1";
    d.chkTryVariantB = "1";
    d.txtOneLinerB = "Books that balance themselves";
    d.txtSpecialPriceB = "39 EUR";
    d.cmbCounting = "endpoint";
    d.txtCountingAddress = "/count";
    const QString address = "https://shop.test/apps/ledger.htm";
    for (const QString &name : shippedTemplates()) {
        SCOPED_TRACE(name.toStdString());
        QTemporaryDir out;
        const QString pagePath = out.filePath("index.htm");
        testing_support::writeAll(out.filePath("robots.txt"), "User-agent: *\nDisallow: /private\n");
        ASSERT_TRUE(GenerateTemplateBasedPage(appFolder, name, pagePath, d.txtProductImage, d));
        const QString page = QString::fromUtf8(readAll(pagePath));
        // Link previews get the picture made for them, at its address.
        const QString picture = "https://shop.test/apps/share-[0-9a-f]{8}\\.jpg";
        for (const QString &tag :
             {"<link rel=\"canonical\" href=\"" + address, "<meta property=\"og:url\" content=\"" + address,
              "<meta property=\"og:image\" content=\"" + picture,
              "<meta name=\"twitter:image\" content=\"" + picture})
            EXPECT_TRUE(page.contains(QRegularExpression(tag + "\">"))) << qPrintable(tag);
        EXPECT_TRUE(page.contains(StructuredData(d)));

        QStringList listed;
        FileList::Read(FileList::PathFor(pagePath), listed);
        EXPECT_EQ(listed.filter(QRegularExpression("sitemap.xml|robots.txt|htaccess")),
                  QStringList({out.filePath("sitemap.xml"), out.filePath(".htaccess")}));
        EXPECT_TRUE(readAll(out.filePath(".htaccess")).contains("<IfModule mod_deflate.c>"));
        EXPECT_EQ(readAll(out.filePath("robots.txt")), "User-agent: *\nDisallow: /private\n");
        const QByteArray sitemap = readAll(out.filePath("sitemap.xml"));
        const QString written = QFileInfo(pagePath).lastModified().toUTC().toString(Qt::ISODate);
        EXPECT_TRUE(
            sitemap.contains(("<loc>" + address + "</loc><lastmod>" + written + "</lastmod>").toUtf8()));
        QFile::remove(out.filePath("robots.txt"));
        // The page as if written three days ago; its time can be set only while it is open.
        const auto age = [&] {
            QFile page(pagePath);
            EXPECT_TRUE(page.open(QIODevice::ReadOnly) &&
                        page.setFileTime(QDateTime::currentDateTimeUtc().addDays(-3),
                                         QFileDevice::FileModificationTime));
            return QFileInfo(pagePath).lastModified().toUTC().toString(Qt::ISODate);
        };
        QString old = age();
        ASSERT_TRUE(GenerateTemplateBasedPage(appFolder, name, pagePath, d.txtProductImage, d));
        EXPECT_TRUE(readAll(out.filePath("sitemap.xml")).contains("<lastmod>" + old.toUtf8()))
            << "the page did not change";
        // A change that keeps the page's size is a change all the same.
        PageData renamed = d;
        renamed.txtCopyRightInfo[0] = renamed.txtCopyRightInfo[0] == 'X' ? 'Y' : 'X';
        const qint64 size = QFileInfo(pagePath).size();
        old = age();
        ASSERT_TRUE(GenerateTemplateBasedPage(appFolder, name, pagePath, d.txtProductImage, renamed));
        ASSERT_EQ(QFileInfo(pagePath).size(), size);
        EXPECT_FALSE(readAll(out.filePath("sitemap.xml")).contains("<lastmod>" + old.toUtf8()));
        EXPECT_TRUE(
            readAll(out.filePath("robots.txt"))
                .endsWith("User-agent: *\nDisallow:\n\nSitemap: https://shop.test/apps/sitemap.xml\n"));

        if (tidy.isEmpty())
            continue;
        testing_support::writeAll(out.filePath("sent.htm"), PublishedBytes(readAll(pagePath)));
        QProcess run;
        run.start(tidy, {"-q", "-e", out.filePath("sent.htm")});
        ASSERT_TRUE(run.waitForFinished(30000));
        EXPECT_LT(run.exitCode(), 2) << run.readAllStandardError().constData(); // 2: errors; 1: warnings
    }
}

// The structured data keeps every answer inside its script, and claims only what was answered.
// A file's address beside the page keeps "#" and "?" in its name; the .htaccess lets
// browsers keep for a year only pictures named by their content, as the program names
// the pictures it prepares, and no picture the user may change under the same name.
TEST(SearchData, FilesBesideThePageKeepTheirNamesAndOnlyHashedPicturesKeepAYear)
{
    EXPECT_EQ(AddressBeside("https://ledgerlark.example/en/index.htm", "shot #2?.png"),
              "https://ledgerlark.example/en/shot%20%232%3F.png");
    const QString htaccess = QString::fromUtf8(Htaccess());
    const QRegularExpression yearRule(
        R"re(<FilesMatch "([^"]+)">\s*Header set Cache-Control "[^"]*immutable")re");
    const QRegularExpressionMatch m = yearRule.match(htaccess);
    ASSERT_TRUE(m.hasMatch()) << htaccess.toStdString();
    const QRegularExpression kept(m.captured(1));
    for (const char *name : {"picture-480-31bcf56d.webp", "icon-32-31bcf56d.png", "share-c0bbde7d.jpg"})
        EXPECT_TRUE(kept.match(name).hasMatch()) << name;
    for (const char *name :
         {"logo-2.png", "logo.png", "Clarity_mark.svg", "photo-1234567.jpg", "a-31bcf56d.htm"})
        EXPECT_FALSE(kept.match(name).hasMatch()) << name;
}

TEST(SearchData, StructuredDataNoAnswerCanLeave)
{
    PageData d;
    d.txtSoftwareName = "Ledger</script><script>alert(1)</script>";
    d.txtMRP = "\u00a319.99";
    d.txtPageURL = "http://x.test/a b"; // no address
    const QString open = "<script type=\"application/ld+json\">", close = "</script>";
    const auto json = [&](const QString &element) {
        return QJsonDocument::fromJson(
                   element.mid(open.size(), element.size() - open.size() - close.size()).toUtf8())
            .object();
    };
    const QString element = StructuredData(d);
    ASSERT_TRUE(element.startsWith(open) && element.endsWith(close) && element.count(close) == 1);
    const QJsonObject data = json(element);
    EXPECT_EQ(data["@type"].toString(), "SoftwareApplication") << qPrintable(element);
    EXPECT_EQ(data["name"].toString(), d.txtSoftwareName);
    EXPECT_EQ(data["offers"].toObject(),
              (QJsonObject{{"@type", "Offer"}, {"price", "19.99"}, {"priceCurrency", "GBP"}}));
    EXPECT_EQ(data.keys(), QStringList({"@context", "@type", "name", "offers"}));
    // The offer is the price asked; a plain http address is an address.
    d.txtSpecialPrice = " \u00a39.99";
    d.txtPageURL = "http://x.test/a.htm";
    const QJsonObject offered = json(StructuredData(d));
    EXPECT_EQ(offered["offers"].toObject()["price"].toString(), "9.99");
    EXPECT_EQ(offered["url"].toString(), "http://x.test/a.htm");
}

// Tags that name no element vanish from a page: each answer that holds one is named.
TEST(SearchData, AnswersWithTagsThatAreNoElementsAreNamed)
{
    PageData d;
    d.txtOneLiner = "Use <word> and <b>bold</b>, a < b, <3, m<sup>2</sup>";
    d.txtKeywords = "<my-widget>, <svg></svg>, <ZOR_PAGE_DATA_ONELINER>";
    d.lvwFAQ = {{"Q", {"Type <filename> here"}}};
    d.txtPurchaseURL = "<buy>"; // a link answer goes into an attribute
    const QString warnings = UnknownElementWarnings(d).join('\n');
    EXPECT_TRUE(warnings.count("holds <") == 2 &&
                warnings.contains("\"One-line catch phrase\" holds <word>") &&
                warnings.contains("\"Questions and answers\" holds <filename>"))
        << qPrintable(warnings);
    // A lone closing tag vanishes as well.
    EXPECT_EQ(UnknownElementsIn("m<sup>2</sup>, H<sub>2</sub>O, <Word> <word> <x-y> </para>"),
              QStringList({"word", "para"}));
}
