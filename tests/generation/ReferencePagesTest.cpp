// Every shipped template filled with the shipped sample product, byte for byte against
// tests/generation/references/<template>.htm and <template>.htm.files (the list with its
// folder and date replaced by fixed texts). After a deliberate change of a template or
// of the engine: cmake --build build --target update-references, and review the diff.
#include "common/RecordingDialogs.h"
#include "common/References.h"
#include "common/TestSupport.h"
#include "generation/modTemplates.h"
#include "store/modReadWriteIni.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace generation;

namespace {

// The sample product as the wizard loads it: every stored text box and list.
PageData loadSample(const QString &appFolder)
{
    // clang-format off
    QString PageData::*const fields[] = {
        &PageData::txtSoftwareName, &PageData::txtKeywords, &PageData::txtOneLiner, &PageData::txtSupportURL,
        &PageData::txtAffiliateURL, &PageData::txtExplainIn30Secs, &PageData::txtCopyRightInfo,
        &PageData::txtProblem, &PageData::txtProlemSolution, &PageData::txtBenefits, &PageData::txtComparison,
        &PageData::txtProductImage, &PageData::txtProductCaption, &PageData::txtMRP, &PageData::txtSpecialPrice,
        &PageData::txtOrderWithinHours, &PageData::txtPurchaseURL, &PageData::txtOrderLaterIncentive,
        &PageData::txtDownloadURL, &PageData::txtDownloadMessage, &PageData::txtDownloadRequirements,
        &PageData::txtDownloadHelp};
    const char *const names[] = {
        "txtSoftwareName", "txtKeywords", "txtOneLiner", "txtSupportURL", "txtAffiliateURL",
        "txtExplainIn30Secs", "txtCopyRightInfo", "txtProblem", "txtProlemSolution", "txtBenefits",
        "txtComparison", "txtProductImage", "txtProductCaption", "txtMRP", "txtSpecialPrice",
        "txtOrderWithinHours", "txtPurchaseURL", "txtOrderLaterIncentive", "txtDownloadURL",
        "txtDownloadMessage", "txtDownloadRequirements", "txtDownloadHelp"};
    // clang-format on
    store::MemoryForm form;
    for (const char *name : names)
        form.addTextBox(name);
    form.addListView("lvwFAQ", kFAQColumns);
    form.addListView("lvwFeatures", kFeatureColumns);
    form.addListView("lvwTestimonial", kTestimonialColumns);
    EXPECT_TRUE(store::LoadFormFromIni("Ledgerlark.ini", form, appFolder));
    PageData d;
    for (size_t i = 0; i < std::size(names); ++i)
        d.*fields[i] = form.textBox(names[i])->value;
    for (auto [name, rows] : {std::pair("lvwFAQ", &d.lvwFAQ),
                              {"lvwFeatures", &d.lvwFeatures},
                              {"lvwTestimonial", &d.lvwTestimonial}})
        for (const auto &row : form.listView(name)->rows)
            rows->push_back({row.text, row.subItems});
    return d;
}

} // namespace

TEST(ReferencePages, ShippedTemplatesWithTheSampleProduct)
{
    testing_support::RecordingDialogs dialogs;
    const QString appFolder = testing_support::sourceDir();
    const QString references = appFolder + "/tests/generation/references/";
    const PageData sample = loadSample(appFolder);
    QStringList templates = QDir(appFolder + "/templates").entryList({"*.htm"}, QDir::Files);
    ASSERT_FALSE(templates.isEmpty());
    for (const QString &name : templates.replaceInStrings(".htm", "")) {
        SCOPED_TRACE(name.toStdString());
        QTemporaryDir out;
        const QString page = out.filePath(name + ".htm");
        ASSERT_TRUE(GenerateTemplateBasedPage(appFolder, name, page, sample.txtProductImage, sample));
        testing_support::expectMatchesReference(references + name + ".htm", testing_support::readAll(page));
        QString list = QString::fromLocal8Bit(testing_support::readAll(page + ".files"));
        list.replace(out.path(), QStringLiteral("<page folder>"));
        list.replace(QRegularExpression(QStringLiteral("(:: Date Generated : )[^\r\n]*")),
                     QStringLiteral("\\1<date>"));
        testing_support::expectMatchesReference(references + name + ".htm.files", list.toLocal8Bit());
    }
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.lastMessage().toStdString();
}
