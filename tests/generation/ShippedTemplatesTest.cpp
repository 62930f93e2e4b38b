// The shipped templates filled with the shipped sample product: every page comes out
// complete (no placeholder left) and finds every file it links to beside it.
#include "common/RecordingDialogs.h"
#include "common/TestSupport.h"
#include "generation/modTemplates.h"
#include "store/modReadWriteIni.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>
#include <utility>

using namespace generation;

namespace {

// clang-format off
const QStringList kBlocks = {"TESTIMONIAL_1", "TESTIMONIAL_2", "IMAGE", "FAQ", "FEATURES", "TRY",
                             "TRY_REQUIREMENTS", "TRY_PROBLEMS", "NOT_CONVINCED"};
const QStringList kPlaceholders = {
    "KEYWORD", "INFO", "SOFTWARENAME", "ONELINER", "SOLUTION", "AFFILIATEURL", "SUPPORTURL", "BENEFITS",
    "WHYBETTER", "MRPRICE", "ORDER_END_DATE", "NEWPRICE", "ORDER_URL", "COPYRIGHT",
    "TESTIMONIAL_NAME_1", "TESTIMONIAL_CONTACT_1", "TESTIMONIAL_INFO_1",
    "TESTIMONIAL_NAME_2", "TESTIMONIAL_CONTACT_2", "TESTIMONIAL_INFO_2",
    "FAQ_QUESTION", "FAQ_ANSWER", "FEATURES_NAME", "FEATURES_DETAILS", "IMAGE_SOURCE", "IMAGE_CAPTION",
    "TRY_MOTIVATION", "TRY_REQUIREMENTS_DATA", "TRY_PROBLEMS_DATA", "TRYURL", "NOT_CONVINCED_DATA"};
#define FIELD(name) {#name, &PageData::name}
const std::pair<const char *, QString PageData::*> kTextFields[] = {
    FIELD(txtSoftwareName), FIELD(txtOneLiner), FIELD(txtKeywords), FIELD(txtSupportURL),
    FIELD(txtAffiliateURL), FIELD(txtExplainIn30Secs), FIELD(txtCopyRightInfo), FIELD(txtProblem),
    FIELD(txtProlemSolution), FIELD(txtBenefits), FIELD(txtComparison), FIELD(txtProductImage),
    FIELD(txtProductCaption), FIELD(txtDownloadURL), FIELD(txtDownloadMessage), FIELD(txtDownloadHelp),
    FIELD(txtDownloadRequirements), FIELD(txtPurchaseURL), FIELD(txtOrderLaterIncentive), FIELD(txtMRP),
    FIELD(txtSpecialPrice), FIELD(txtOrderWithinHours)};
#undef FIELD
// clang-format on

// The sample product as the wizard loads it (the image path stays relative).
PageData loadSample(const QString &appFolder)
{
    store::MemoryForm form;
    for (const auto &[name, field] : kTextFields)
        form.addTextBox(name);
    form.addListView("lvwFAQ", kFAQColumns);
    form.addListView("lvwFeatures", kFeatureColumns);
    form.addListView("lvwTestimonial", kTestimonialColumns);
    EXPECT_TRUE(store::LoadFormFromIni("Ledgerlark.ini", form, appFolder));
    PageData d;
    for (const auto &[name, field] : kTextFields) {
        d.*field = form.textBox(name)->value;
        EXPECT_FALSE((d.*field).trimmed().isEmpty()) << name << " is empty in the sample";
    }
    for (auto [name, rows] : {std::pair("lvwFAQ", &d.lvwFAQ),
                              {"lvwFeatures", &d.lvwFeatures},
                              {"lvwTestimonial", &d.lvwTestimonial}})
        for (const auto &row : form.listView(name)->rows)
            rows->push_back({row.text, row.subItems});
    return d;
}

// Local files a page (src/href attributes and url()) or a style sheet (url() only)
// refers to; addresses with a scheme, protocol-relative ones and anchors are not files.
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

} // namespace

TEST(ShippedTemplates, EveryTemplateUsesTheWholeVocabularyAndGivesACompletePage)
{
    testing_support::RecordingDialogs dialogs;
    const QString appFolder = testing_support::sourceDir();
    QDir::setCurrent(QDir::tempPath()); // the relative image path must not depend on this
    const PageData sample = loadSample(appFolder);
    ASSERT_FALSE(sample.lvwFAQ.isEmpty() || sample.lvwFeatures.isEmpty());
    ASSERT_GE(sample.lvwTestimonial.size(), 3); // rows in both testimonial blocks
    QStringList templates = QDir(appFolder + "/templates").entryList({"*.htm"}, QDir::Files);
    ASSERT_GE(templates.size(), 3);
    static const QRegularExpression zorName(R"(</?(ZOR_[A-Za-z0-9_]*))",
                                            QRegularExpression::CaseInsensitiveOption);

    for (QString name : templates.replaceInStrings(".htm", "")) {
        SCOPED_TRACE(name.toStdString());
        const QString text = ReadTextFile(appFolder + "/templates/" + name + ".htm");
        EXPECT_TRUE(text.contains("<ZOR_PAGE_PROBLEM>"));
        for (const QString &p : kPlaceholders)
            EXPECT_TRUE(text.contains("<ZOR_PAGE_DATA_" + p + ">")) << "lacks " << p.toStdString();
        for (const QString &b : kBlocks)
            EXPECT_TRUE(text.contains("<ZOR_PAGE_DATA_" + b + ">") &&
                        text.contains("</ZOR_PAGE_DATA_" + b + ">"))
                << "lacks block " << b.toStdString();

        QTemporaryDir out;
        QString page = out.filePath("offer.htm");
        QString image = sample.txtProductImage;
        ASSERT_TRUE(GenerateTemplateBasedPage(appFolder, name, page, image, sample));
        const QString html = ReadTextFile(page);
        for (auto it = zorName.globalMatch(html); it.hasNext();) {
            const QString found = it.next().captured(1);
            EXPECT_TRUE(found.startsWith("ZOR_PAGE_DATA_") && kBlocks.contains(found.mid(14)))
                << "left in the page: " << found.toStdString();
        }
        // The page and its style sheets refer only to files copied beside it, the image among them.
        QStringList refs = localReferences(html, true);
        for (int i = 0; i < refs.size(); ++i) {
            EXPECT_FALSE(refs[i].isEmpty()) << "an empty link or image source";
            const QString path = QDir(out.path()).filePath(refs[i]);
            EXPECT_TRUE(QFileInfo(path).isFile()) << "missing beside the page: " << refs[i].toStdString();
            if (refs[i].endsWith(".css", Qt::CaseInsensitive) && i < 200)
                refs << localReferences(ReadTextFile(path), false);
        }
        EXPECT_TRUE(refs.contains(QFileInfo(sample.txtProductImage).fileName()));
        for (const auto *list : {&sample.lvwFAQ, &sample.lvwFeatures, &sample.lvwTestimonial})
            for (const ListRow &row : *list)
                EXPECT_TRUE(html.contains(LineBreakRule(row.text))) << row.text.toStdString();
    }
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.lastMessage().toStdString();
}
