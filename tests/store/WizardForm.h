#pragma once
// A form shaped like the wizard window: its stored text boxes and its three lists,
// in window order, filled with varied text (line breaks, blanks, quotes, long values).

#include "store/Form.h"

#include <QString>
#include <QStringList>

namespace store_testing {

// clang-format off
inline const QStringList kWizardTextBoxes = {
    "txtSoftwareName", "txtKeywords", "txtOneLiner", "txtSupportURL", "txtAffiliateURL", "txtExplainIn30Secs",
    "txtCopyRightInfo", "txtProblem", "txtProlemSolution", "txtBenefits", "txtComparison", "txtProductImage",
    "txtProductCaption", "txtFAQQuestion", "txtFAQAnswer", "txtFeatureName", "txtFeatureDetail",
    "txtTestimonialName", "txtTestimonialAdditionalInfo", "txtTestimonial", "txtMRP", "txtSpecialPrice",
    "txtOrderWithinHours", "txtOrderNowIncentive", "txtPurchaseURL", "txtOrderLaterIncentive", "txtDownloadURL",
    "txtDownloadMessage", "txtDownloadRequirements", "txtDownloadHelp", "txtGeneratedPage",
    "txtTemplateHeaderImage", "txtTemplateBackgroundImage"};
inline const QStringList kSamples = {"plain", "two\r\nlines", "  blanks around  ", "\"quoted\"", "a=b; [c]",
                                     QString(6000, QLatin1Char('L')), ""};
// clang-format on

// Builds the controls; with `rows` > 0 also fills them.
inline void buildWizardForm(store::MemoryForm &form, int rows)
{
    int n = 0;
    for (const QString &name : kWizardTextBoxes) {
        form.addTextBox(name).value = rows > 0 ? kSamples[n++ % kSamples.size()] + name : QString();
        if (name == "txtProductCaption")
            form.addOther("cmbTemplates");
    }
    form.addOther("cmbExistingSoftware");
    const QList<QPair<QString, QStringList>> lists = {
        {"lvwFAQ", {"Frequently Asked Question", "Response"}},
        {"lvwFeatures", {"Name of the Feature", "Details"}},
        {"lvwTestimonial", {"Testimonial From ", "More Info", "Testimonial"}}};
    for (const auto &list : lists) {
        store::MemoryListView &view = form.addListView(list.first, list.second);
        for (int i = 0; i < rows; ++i) {
            view.rows.push_back({kSamples[i % kSamples.size()].left(80) + QString::number(i), {}});
            for (int j = 1; j < list.second.size(); ++j)
                view.rows.back().subItems
                    << (i % 5 == 4 ? QString() : kSamples[(i + j) % kSamples.size()].left(300));
        }
    }
}

} // namespace store_testing
