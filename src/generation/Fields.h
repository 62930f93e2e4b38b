#pragma once
// The wizard's answers, one row each: the control's name (also its key in the product
// file), where the record holds it, the placeholders a template uses it under, its
// short caption and, for an address the page links to, how messages name it. The wizard, the product file
// reader and the template language all read this table; header-only, so that any library's tests can read it
// as well.

#include "generation/PageData.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace generation {

enum class FieldKind { Text, List };

struct Field {
    QString name; // control name and product file key: never changes
    FieldKind kind;
    QString PageData::*text = nullptr;          // Text only
    QVector<ListRow> PageData::*rows = nullptr; // List only
    QStringList columns;                        // List only: the exact header texts
    QStringList placeholders;                   // without "ZOR_"; none when never placed
    QString caption;                            // in the list of empty answers; "" when never placed
    QString link;                               // an address the page links to: its name in messages
};

// In the order of the wizard's controls (and so of its steps).
inline const std::vector<Field> &Fields()
{
    const auto text = [](const char *name, QString PageData::*member, QStringList placeholders = {},
                         const char *caption = "") {
        return Field{QString::fromLatin1(name),
                     FieldKind::Text,
                     member,
                     nullptr,
                     {},
                     placeholders,
                     QString::fromUtf8(caption),
                     {}};
    };
    const auto list = [](const char *name, QVector<ListRow> PageData::*member, const QStringList &columns,
                         QStringList placeholders, const char *caption) {
        return Field{QString::fromLatin1(name),
                     FieldKind::List,
                     nullptr,
                     member,
                     columns,
                     placeholders,
                     QString::fromUtf8(caption),
                     {}};
    };
    using P = PageData;
    const auto link = [](Field field, const char *name) {
        field.link = QString::fromLatin1(name);
        return field;
    };
    static const std::vector<Field> table = {
        text("txtSoftwareName", &P::txtSoftwareName, {"PAGE_DATA_SOFTWARENAME"}, "Name of the software"),
        text("txtOneLiner", &P::txtOneLiner, {"PAGE_DATA_ONELINER"}, "One-line catch phrase"),
        text("txtKeywords", &P::txtKeywords, {"PAGE_DATA_KEYWORD"}, "Keywords"),
        link(text("txtSupportURL", &P::txtSupportURL, {"PAGE_DATA_SUPPORTURL"}, "Contact address"),
             "contact address"),
        link(text("txtAffiliateURL", &P::txtAffiliateURL, {"PAGE_DATA_AFFILIATEURL"}, "Affiliates address"),
             "affiliates address"),
        link(text("txtPageURL", &P::txtPageURL, {"PAGE_DATA_PAGE_URL", "PAGE_DATA_IMAGE_URL"},
                  "Web address of the page"),
             "web address of the page"),
        text("txtExplainIn30Secs", &P::txtExplainIn30Secs, {"PAGE_DATA_INFO"}, "The software in 30 seconds"),
        text("txtCopyRightInfo", &P::txtCopyRightInfo, {"PAGE_DATA_COPYRIGHT"}, "Copyright message"),
        text("txtProblem", &P::txtProblem, {"PAGE_PROBLEM"}, "The problem it solves"),
        text("txtProlemSolution", &P::txtProlemSolution, {"PAGE_DATA_SOLUTION"}, "How it solves the problem"),
        text("txtBenefits", &P::txtBenefits, {"PAGE_DATA_BENEFITS"}, "Benefits"),
        text("txtComparison", &P::txtComparison, {"PAGE_DATA_WHYBETTER"}, "Why it is better"),
        text("txtProductImage", &P::txtProductImage, {"PAGE_DATA_IMAGE", "PAGE_DATA_IMAGE_SOURCE"},
             "Product image"),
        text("txtProductCaption", &P::txtProductCaption, {"PAGE_DATA_IMAGE_CAPTION"}, "Image caption"),
        text("txtFAQQuestion", &P::txtFAQQuestion),
        text("txtFAQAnswer", &P::txtFAQAnswer),
        list("lvwFAQ", &P::lvwFAQ, kFAQColumns,
             {"PAGE_DATA_FAQ", "PAGE_DATA_FAQ_QUESTION", "PAGE_DATA_FAQ_ANSWER"}, "Questions and answers"),
        text("txtFeatureName", &P::txtFeatureName),
        text("txtFeatureDetail", &P::txtFeatureDetail),
        list("lvwFeatures", &P::lvwFeatures, kFeatureColumns,
             {"PAGE_DATA_FEATURES", "PAGE_DATA_FEATURES_NAME", "PAGE_DATA_FEATURES_DETAILS"}, "Features"),
        link(text("txtDownloadURL", &P::txtDownloadURL, {"PAGE_DATA_TRY", "PAGE_DATA_TRYURL"},
                  "Trial download address"),
             "trial download address"),
        text("txtDownloadMessage", &P::txtDownloadMessage, {"PAGE_DATA_TRY_MOTIVATION"}, "Why try the demo"),
        text("txtDownloadHelp", &P::txtDownloadHelp,
             {"PAGE_DATA_TRY_PROBLEMS", "PAGE_DATA_TRY_PROBLEMS_DATA"}, "Help during the trial"),
        text("txtDownloadRequirements", &P::txtDownloadRequirements,
             {"PAGE_DATA_TRY_REQUIREMENTS", "PAGE_DATA_TRY_REQUIREMENTS_DATA"}, "Trial requirements"),
        text("txtTestimonialName", &P::txtTestimonialName),
        text("txtTestimonialAdditionalInfo", &P::txtTestimonialAdditionalInfo),
        text("txtTestimonial", &P::txtTestimonial),
        list("lvwTestimonial", &P::lvwTestimonial, kTestimonialColumns,
             {"PAGE_DATA_TESTIMONIAL_1", "PAGE_DATA_TESTIMONIAL_2", "PAGE_DATA_TESTIMONIAL_NAME_1",
              "PAGE_DATA_TESTIMONIAL_CONTACT_1", "PAGE_DATA_TESTIMONIAL_INFO_1",
              "PAGE_DATA_TESTIMONIAL_NAME_2", "PAGE_DATA_TESTIMONIAL_CONTACT_2",
              "PAGE_DATA_TESTIMONIAL_INFO_2"},
             "Testimonials"),
        link(text("txtPurchaseURL", &P::txtPurchaseURL, {"PAGE_DATA_ORDER_URL"}, "Purchase link"),
             "purchase link"),
        text("txtOrderNowIncentive", &P::txtOrderNowIncentive),
        text("txtOrderLaterIncentive", &P::txtOrderLaterIncentive,
             {"PAGE_DATA_NOT_CONVINCED", "PAGE_DATA_NOT_CONVINCED_DATA"},
             "Message for those not ready to buy"),
        text("txtMRP", &P::txtMRP, {"PAGE_DATA_MRPRICE"}, "Regular price"),
        text("txtSpecialPrice", &P::txtSpecialPrice, {"PAGE_DATA_NEWPRICE"}, "Offer price"),
        text("txtOrderWithinHours", &P::txtOrderWithinHours, {"PAGE_DATA_ORDER_END_DATE"},
             "Hours the offer lasts"),
        text("txtGeneratedPage", &P::txtGeneratedPage),
        text("chkHtaccess", &P::chkHtaccess),
        text("txtTemplateHeaderImage", &P::txtTemplateHeaderImage),
        text("txtTemplateBackgroundImage", &P::txtTemplateBackgroundImage),
    };
    return table;
}

// The answers a page cannot sell without, in the order the list of empty answers
// names them first: the order link, the price, the product picture, the pitch.
inline const QStringList &NeededToSell()
{
    static const QStringList names = {QStringLiteral("txtPurchaseURL"), QStringLiteral("txtSpecialPrice"),
                                      QStringLiteral("txtMRP"), QStringLiteral("txtProductImage"),
                                      QStringLiteral("txtOneLiner")};
    return names;
}

// The row named `name`, or nullptr.
inline const Field *FindField(const QString &name)
{
    for (const Field &field : Fields())
        if (field.name == name)
            return &field;
    return nullptr;
}

} // namespace generation
