// The shipped templates filled with the shipped sample product: every page must come
// out complete (no placeholder left behind) and find every file it links to beside it.
#include "common/RecordingDialogs.h"
#include "common/TestSupport.h"
#include "generation/modTemplates.h"
#include "store/modReadWriteIni.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>
#include <utility>

using namespace generation;

namespace {

const QString kSample = QStringLiteral("Ledgerlark.ini");

const QStringList kBlocks = {"TESTIMONIAL_1", "TESTIMONIAL_2",    "IMAGE",        "FAQ",          "FEATURES",
                             "TRY",           "TRY_REQUIREMENTS", "TRY_PROBLEMS", "NOT_CONVINCED"};

// Every name a template can use; a shipped template uses them all.
// clang-format off
const QStringList kPlaceholders = {
    "KEYWORD", "INFO", "SOFTWARENAME", "ONELINER", "SOLUTION", "AFFILIATEURL", "SUPPORTURL", "BENEFITS",
    "WHYBETTER", "MRPRICE", "ORDER_END_DATE", "NEWPRICE", "ORDER_URL", "COPYRIGHT",
    "TESTIMONIAL_NAME_1", "TESTIMONIAL_CONTACT_1", "TESTIMONIAL_INFO_1",
    "TESTIMONIAL_NAME_2", "TESTIMONIAL_CONTACT_2", "TESTIMONIAL_INFO_2",
    "FAQ_QUESTION", "FAQ_ANSWER", "FEATURES_NAME", "FEATURES_DETAILS", "IMAGE_SOURCE", "IMAGE_CAPTION",
    "TRY_MOTIVATION", "TRY_REQUIREMENTS_DATA", "TRY_PROBLEMS_DATA", "TRYURL", "NOT_CONVINCED_DATA"};
// clang-format on

QVector<ListRow> rowsOf(const store::MemoryListView &list)
{
    QVector<ListRow> rows;
    for (const auto &row : list.rows)
        rows.push_back({row.text, row.subItems});
    return rows;
}

// The sample product as the wizard would load it, the image path made absolute.
PageData loadSample(const QString &appFolder, bool &loaded)
{
    PageData d;
    store::MemoryForm form;
    // The text boxes whose values the templates place.
    const std::pair<const char *, QString PageData::*> texts[] = {
        {"txtSoftwareName", &PageData::txtSoftwareName},
        {"txtOneLiner", &PageData::txtOneLiner},
        {"txtKeywords", &PageData::txtKeywords},
        {"txtSupportURL", &PageData::txtSupportURL},
        {"txtAffiliateURL", &PageData::txtAffiliateURL},
        {"txtExplainIn30Secs", &PageData::txtExplainIn30Secs},
        {"txtCopyRightInfo", &PageData::txtCopyRightInfo},
        {"txtProblem", &PageData::txtProblem},
        {"txtProlemSolution", &PageData::txtProlemSolution},
        {"txtBenefits", &PageData::txtBenefits},
        {"txtComparison", &PageData::txtComparison},
        {"txtProductImage", &PageData::txtProductImage},
        {"txtProductCaption", &PageData::txtProductCaption},
        {"txtDownloadURL", &PageData::txtDownloadURL},
        {"txtDownloadMessage", &PageData::txtDownloadMessage},
        {"txtDownloadHelp", &PageData::txtDownloadHelp},
        {"txtDownloadRequirements", &PageData::txtDownloadRequirements},
        {"txtPurchaseURL", &PageData::txtPurchaseURL},
        {"txtOrderLaterIncentive", &PageData::txtOrderLaterIncentive},
        {"txtMRP", &PageData::txtMRP},
        {"txtSpecialPrice", &PageData::txtSpecialPrice},
        {"txtOrderWithinHours", &PageData::txtOrderWithinHours}};
    for (const auto &[name, field] : texts)
        form.addTextBox(name);
    auto &faq = form.addListView("lvwFAQ", kFAQColumns);
    auto &features = form.addListView("lvwFeatures", kFeatureColumns);
    auto &testimonials = form.addListView("lvwTestimonial", kTestimonialColumns);

    loaded = store::LoadFormFromIni(kSample, form, appFolder);
    for (const auto &[name, field] : texts) {
        d.*field = form.textBox(name)->value;
        EXPECT_FALSE((d.*field).trimmed().isEmpty()) << name << " is empty in the sample";
    }
    d.lvwFAQ = rowsOf(faq);
    d.lvwFeatures = rowsOf(features);
    d.lvwTestimonial = rowsOf(testimonials);
    // The stored path is relative to the application folder (where sites/ lies).
    d.txtProductImage = QDir(appFolder).absoluteFilePath(d.txtProductImage);
    return d;
}

// Local files a page (src/href attributes and url()) or a style sheet (url() only) refers
// to; addresses with a scheme (http:, MAILTO: ...), protocol-relative ones and in-page
// anchors are not files.
QStringList localReferences(const QString &text, bool isPage)
{
    static const QRegularExpression attr(R"re(\b(?:src|href)\s*=\s*(["'])(.*?)\1)re",
                                         QRegularExpression::CaseInsensitiveOption |
                                             QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression url(R"re(url\(\s*["']?([^"')]*?)["']?\s*\))re",
                                        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression scheme(R"(^[A-Za-z][A-Za-z0-9+.-]*:)");
    QStringList refs;
    for (auto it = attr.globalMatch(text); isPage && it.hasNext();)
        refs << it.next().captured(2);
    for (auto it = url.globalMatch(text); it.hasNext();)
        refs << it.next().captured(1);
    QStringList local;
    for (const QString &ref : refs) {
        if (ref.startsWith('#') || ref.startsWith("//") || scheme.match(ref).hasMatch())
            continue;
        local << QUrl::fromPercentEncoding(ref.section('#', 0, 0).section('?', 0, 0).toUtf8());
    }
    return local;
}

class ShippedTemplates : public ::testing::Test {
protected:
    void SetUp() override
    {
        sample = loadSample(appFolder, sampleLoaded);
        const QDir folder(appFolder + "/templates");
        for (const QString &file : folder.entryList({"*.htm"}, QDir::Files, QDir::Name | QDir::IgnoreCase))
            templates << file.chopped(4);
    }
    testing_support::RecordingDialogs dialogs;
    const QString appFolder = testing_support::sourceDir();
    bool sampleLoaded = false;
    PageData sample;
    QStringList templates;
};

TEST_F(ShippedTemplates, SampleProductLoadsWithEveryListAndItsImage)
{
    EXPECT_TRUE(sampleLoaded);
    EXPECT_FALSE(sample.lvwFAQ.isEmpty());
    EXPECT_FALSE(sample.lvwFeatures.isEmpty());
    // Three or more rows put testimonials into both testimonial blocks.
    EXPECT_GE(sample.lvwTestimonial.size(), 3);
    for (const ListRow &row : sample.lvwTestimonial)
        EXPECT_EQ(row.subItems.size(), 2) << row.text.toStdString();
    EXPECT_FALSE(GetFileName(sample.txtProductImage).isEmpty()) << sample.txtProductImage.toStdString();
}

TEST_F(ShippedTemplates, EveryTemplateUsesTheWholeVocabulary)
{
    ASSERT_GE(templates.size(), 3);
    for (const QString &name : templates) {
        const QString text = ReadTextFile(appFolder + "/templates/" + name + ".htm");
        EXPECT_TRUE(text.contains("<ZOR_PAGE_PROBLEM>")) << name.toStdString();
        for (const QString &p : kPlaceholders)
            EXPECT_TRUE(text.contains("<ZOR_PAGE_DATA_" + p + ">"))
                << name.toStdString() << " lacks " << p.toStdString();
        for (const QString &b : kBlocks)
            EXPECT_TRUE(text.contains("<ZOR_PAGE_DATA_" + b + ">") &&
                        text.contains("</ZOR_PAGE_DATA_" + b + ">"))
                << name.toStdString() << " lacks block " << b.toStdString();
    }
}

TEST_F(ShippedTemplates, EveryTemplateGivesACompletePageWithItsFilesBesideIt)
{
    ASSERT_TRUE(sampleLoaded);
    ASSERT_GE(templates.size(), 3);
    static const QRegularExpression zorName(R"(</?(ZOR_[A-Za-z0-9_]*))",
                                            QRegularExpression::CaseInsensitiveOption);
    QSet<QString> markers;
    for (const QString &b : kBlocks)
        markers << "ZOR_PAGE_DATA_" + b;

    for (QString name : templates) {
        SCOPED_TRACE(name.toStdString());
        QTemporaryDir out;
        QString page = out.filePath("offer.htm");
        QString image = sample.txtProductImage;
        ASSERT_TRUE(GenerateTemplateBasedPage(appFolder, name, page, image, sample));
        const QString html = ReadTextFile(page);
        ASSERT_FALSE(html.isEmpty());

        for (auto it = zorName.globalMatch(html); it.hasNext();) {
            const QString found = it.next().captured(1);
            EXPECT_TRUE(markers.contains(found)) << "left in the page: " << found.toStdString();
        }

        // The page and the style sheets it loads refer only to files that were copied beside it.
        QStringList refs = localReferences(html, true);
        for (int i = 0; i < refs.size(); ++i) {
            const QString &ref = refs[i];
            EXPECT_FALSE(ref.isEmpty()) << "an empty link or image source";
            const QString path = QDir(out.path()).filePath(ref);
            EXPECT_TRUE(QFileInfo(path).isFile()) << "missing beside the page: " << ref.toStdString();
            if (ref.endsWith(".css", Qt::CaseInsensitive) && i < 200)
                refs << localReferences(ReadTextFile(path), false);
        }
        EXPECT_TRUE(refs.contains(GetFileName(sample.txtProductImage)));

        // Each list row and each optional block reached the page.
        for (const auto *list : {&sample.lvwFAQ, &sample.lvwFeatures, &sample.lvwTestimonial})
            for (const ListRow &row : *list)
                EXPECT_TRUE(html.contains(LineBreakRule(row.text))) << row.text.toStdString();
        for (const QString &text :
             {sample.txtProductCaption, sample.txtDownloadMessage, sample.txtOrderLaterIncentive})
            EXPECT_TRUE(html.contains(text)) << text.toStdString();
    }
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.lastMessage().toStdString();
}

} // namespace
