#include "SampleProducts.h"

#include "store/Form.h"
#include "store/modReadWriteIni.h"

#include <utility>

namespace testing_support {

using generation::PageData;

generation::PageData LoadSampleProduct(const QString &appFolder)
{
    // clang-format off
#define FIELD(name) {#name, &PageData::name}
    const std::pair<const char *, QString PageData::*> textFields[] = {
        FIELD(txtSoftwareName), FIELD(txtOneLiner), FIELD(txtKeywords), FIELD(txtSupportURL),
        FIELD(txtAffiliateURL), FIELD(txtExplainIn30Secs), FIELD(txtCopyRightInfo), FIELD(txtProblem),
        FIELD(txtProlemSolution), FIELD(txtBenefits), FIELD(txtComparison), FIELD(txtProductImage),
        FIELD(txtProductCaption), FIELD(txtDownloadURL), FIELD(txtDownloadMessage), FIELD(txtDownloadHelp),
        FIELD(txtDownloadRequirements), FIELD(txtPurchaseURL), FIELD(txtOrderLaterIncentive), FIELD(txtMRP),
        FIELD(txtSpecialPrice), FIELD(txtOrderWithinHours)};
#undef FIELD
    // clang-format on
    store::MemoryForm form;
    for (const auto &[name, field] : textFields)
        form.addTextBox(name);
    form.addListView("lvwFAQ", generation::kFAQColumns);
    form.addListView("lvwFeatures", generation::kFeatureColumns);
    form.addListView("lvwTestimonial", generation::kTestimonialColumns);
    PageData d;
    if (!store::LoadFormFromIni("Ledgerlark.ini", form, appFolder))
        return d;
    for (const auto &[name, field] : textFields)
        d.*field = form.textBox(name)->value;
    for (auto [name, rows] : {std::pair("lvwFAQ", &d.lvwFAQ),
                              {"lvwFeatures", &d.lvwFeatures},
                              {"lvwTestimonial", &d.lvwTestimonial}})
        for (const auto &row : form.listView(name)->rows)
            rows->push_back({row.text, row.subItems});
    return d;
}

generation::PageData MinimalProduct()
{
    PageData d;
    d.txtSoftwareName = QStringLiteral("Quillpad");
    d.txtOneLiner = QStringLiteral("Notes that file themselves.");
    d.txtPurchaseURL = QStringLiteral("http://quillpad.example/buy");
    return d;
}

} // namespace testing_support
