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
    QString example;                            // the box's placeholder: a short example
    QString help;                               // the box's tooltip: what the answer is for
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
                     {},
                     {},
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
                     {},
                     {},
                     {}};
    };
    using P = PageData;
    const auto link = [](Field field, const char *name) {
        field.link = QString::fromLatin1(name);
        return field;
    };
    const auto hint = [](Field field, const char *example, const char *help = "") {
        field.example = QString::fromUtf8(example);
        field.help = QString::fromUtf8(help);
        return field;
    };
    static const std::vector<Field> table = {
        hint(text("txtSoftwareName", &P::txtSoftwareName, {"PAGE_DATA_SOFTWARENAME"}, "Name of the software"),
             "e.g. TidyPhotos Pro",
             "The product's name as buyers search for it. It starts the page's title, which search "
             "results cut short: the count beside it shows how much fits."),
        hint(text("txtOneLiner", &P::txtOneLiner, {"PAGE_DATA_ONELINER"}, "One-line catch phrase"),
             "e.g. Sort ten years of photos in one evening",
             "One sentence that sells. It becomes the page's description under the title in "
             "search results: the count beside it shows how much fits."),
        hint(text("txtKeywords", &P::txtKeywords, {"PAGE_DATA_KEYWORD"}, "Keywords"),
             "e.g. photo organizer, duplicate photos, albums",
             "Words buyers type into a search engine, separated by commas."),
        hint(link(text("txtSupportURL", &P::txtSupportURL, {"PAGE_DATA_SUPPORTURL"}, "Contact address"),
                  "contact address"),
             "e.g. https://yourshop.com/help or mailto:help@yourshop.com",
             "Where buyers reach you with questions."),
        hint(link(text("txtAffiliateURL", &P::txtAffiliateURL, {"PAGE_DATA_AFFILIATEURL"},
                       "Affiliates address"),
                  "affiliates address"),
             "e.g. https://yourshop.com/affiliates",
             "Where others sign up to sell your product for a commission."),
        link(text("txtPageURL", &P::txtPageURL, {"PAGE_DATA_PAGE_URL", "PAGE_DATA_IMAGE_URL"},
                  "Web address of the page"),
             "web address of the page"),
        hint(text("txtExplainIn30Secs", &P::txtExplainIn30Secs, {"PAGE_DATA_INFO"},
                  "The software in 30 seconds"),
             "e.g. TidyPhotos finds every photo on your disks, removes the copies and files the rest by date "
             "and place.",
             "What the product does, in the half minute a visitor gives it."),
        hint(text("txtCopyRightInfo", &P::txtCopyRightInfo, {"PAGE_DATA_COPYRIGHT"}, "Copyright message"),
             "e.g. © 2026 Your Company Ltd. All rights reserved.", "The line at the foot of the page."),
        hint(text("txtProblem", &P::txtProblem, {"PAGE_PROBLEM"}, "The problem it solves"),
             "e.g. Thousands of photos, scattered over three disks and two phones.",
             "The trouble your buyers have before they find your product."),
        hint(text("txtProlemSolution", &P::txtProlemSolution, {"PAGE_DATA_SOLUTION"},
                  "How it solves the problem"),
             "e.g. One scan finds every photo and files it by date and place.",
             "How the product ends that trouble."),
        hint(text("txtBenefits", &P::txtBenefits, {"PAGE_DATA_BENEFITS"}, "Benefits"),
             "e.g. Find any photo in seconds; free gigabytes taken by copies.",
             "What buyers gain, in their words rather than the features'."),
        hint(text("txtComparison", &P::txtComparison, {"PAGE_DATA_WHYBETTER"}, "Why it is better"),
             "e.g. Works offline, unlike online albums, and needs no subscription.",
             "Why it is better than the other ways of solving the problem."),
        hint(text("txtProductImage", &P::txtProductImage, {"PAGE_DATA_IMAGE", "PAGE_DATA_IMAGE_SOURCE"},
                  "Product image"),
             "e.g. screenshot.png", "A screenshot or box picture: PNG, JPEG, GIF, SVG or WebP."),
        hint(text("txtProductCaption", &P::txtProductCaption, {"PAGE_DATA_IMAGE_CAPTION"}, "Image caption"),
             "e.g. TidyPhotos sorting a holiday folder", "A line under the picture."),
        text("txtFAQQuestion", &P::txtFAQQuestion),
        hint(text("txtFAQAnswer", &P::txtFAQAnswer), "e.g. Yes: on Linux, Windows and macOS."),
        list("lvwFAQ", &P::lvwFAQ, kFAQColumns,
             {"PAGE_DATA_FAQ", "PAGE_DATA_FAQ_QUESTION", "PAGE_DATA_FAQ_ANSWER"}, "Questions and answers"),
        hint(text("txtFeatureName", &P::txtFeatureName), "e.g. Duplicate finder"),
        hint(text("txtFeatureDetail", &P::txtFeatureDetail),
             "e.g. Finds copies even when they were resized or renamed."),
        list("lvwFeatures", &P::lvwFeatures, kFeatureColumns,
             {"PAGE_DATA_FEATURES", "PAGE_DATA_FEATURES_NAME", "PAGE_DATA_FEATURES_DETAILS"}, "Features"),
        hint(link(text("txtDownloadURL", &P::txtDownloadURL, {"PAGE_DATA_TRY", "PAGE_DATA_TRYURL"},
                       "Trial download address"),
                  "trial download address"),
             "e.g. https://yourshop.com/download/trial.zip", "Where the free trial is downloaded."),
        hint(text("txtDownloadMessage", &P::txtDownloadMessage, {"PAGE_DATA_TRY_MOTIVATION"},
                  "Why try the demo"),
             "e.g. Try every feature free for 30 days.", "Why a visitor should try it now."),
        hint(text("txtDownloadHelp", &P::txtDownloadHelp,
                  {"PAGE_DATA_TRY_PROBLEMS", "PAGE_DATA_TRY_PROBLEMS_DATA"}, "Help during the trial"),
             "e.g. Write to help@yourshop.com; we answer within a day.",
             "Where to get help while trying it."),
        hint(text("txtDownloadRequirements", &P::txtDownloadRequirements,
                  {"PAGE_DATA_TRY_REQUIREMENTS", "PAGE_DATA_TRY_REQUIREMENTS_DATA"}, "Trial requirements"),
             "e.g. 64-bit Windows 10 or later, 200 MB of disk", "What the trial needs to run."),
        hint(text("txtTestimonialName", &P::txtTestimonialName), "e.g. Dana Reyes", "Who said it."),
        hint(text("txtTestimonialAdditionalInfo", &P::txtTestimonialAdditionalInfo),
             "e.g. Wedding photographer, Lisbon", "Who the person is, so that readers trust the words."),
        hint(text("txtTestimonial", &P::txtTestimonial), "e.g. It sorted 40,000 photos over a coffee.",
             "What the person said, in their own words."),
        list("lvwTestimonial", &P::lvwTestimonial, kTestimonialColumns,
             {"PAGE_DATA_TESTIMONIAL_1", "PAGE_DATA_TESTIMONIAL_2", "PAGE_DATA_TESTIMONIAL_NAME_1",
              "PAGE_DATA_TESTIMONIAL_CONTACT_1", "PAGE_DATA_TESTIMONIAL_INFO_1",
              "PAGE_DATA_TESTIMONIAL_NAME_2", "PAGE_DATA_TESTIMONIAL_CONTACT_2",
              "PAGE_DATA_TESTIMONIAL_INFO_2"},
             "Testimonials"),
        hint(link(text("txtPurchaseURL", &P::txtPurchaseURL, {"PAGE_DATA_ORDER_URL"}, "Purchase link"),
                  "purchase link"),
             "e.g. https://yourshop.com/buy", "The page where buyers pay: every order button leads there."),
        hint(text("txtButtonText", &P::txtButtonText), "e.g. Get TidyPhotos now",
             "The words of the order link. Empty: \"Click here to order now\"."),
        hint(text("txtOrderNowIncentive", &P::txtOrderNowIncentive),
             "e.g. Order today and get the album templates free", "What buyers get for ordering now."),
        hint(text("txtOrderLaterIncentive", &P::txtOrderLaterIncentive,
                  {"PAGE_DATA_NOT_CONVINCED", "PAGE_DATA_NOT_CONVINCED_DATA"},
                  "Message for those not ready to buy"),
             "e.g. Not ready yet? Join our newsletter for tips and a later discount.",
             "What the page offers those not ready to buy."),
        hint(text("txtMRP", &P::txtMRP, {"PAGE_DATA_MRPRICE"}, "Regular price"), "e.g. $49",
             "MRP, the maximum retail price: the regular price before the offer, shown struck through beside "
             "the offer price."),
        hint(text("txtSpecialPrice", &P::txtSpecialPrice, {"PAGE_DATA_NEWPRICE"}, "Offer price"), "e.g. $29",
             "The offer price: what buyers pay now."),
        hint(text("txtOrderWithinHours", &P::txtOrderWithinHours, {"PAGE_DATA_ORDER_END_DATE"},
                  "Hours the offer lasts"),
             "e.g. 48", "How many hours the offer lasts."),
        hint(text("chkTryVariantB", &P::chkTryVariantB), "",
             "Half the visitors see the second version; each keeps the one it first saw."),
        hint(text("txtOneLinerB", &P::txtOneLinerB), "e.g. Ten years of photos, sorted tonight",
             "Version B's catch phrase, the headline under the name. Empty: as in version A."),
        hint(text("txtButtonTextB", &P::txtButtonTextB), "e.g. Sort my photos",
             "Version B's order link words. Empty: as in version A."),
        hint(text("txtSpecialPriceB", &P::txtSpecialPriceB), "e.g. $24",
             "Version B's offer price. Empty: as in version A."),
        hint(text("cmbCounting", &P::cmbCounting), "",
             "Count visits and order clicks without cookies. None: the page contacts no other host."),
        hint(text("txtCountingAddress", &P::txtCountingAddress), "e.g. yourshop.com",
             "Plausible: the site's domain. Umami: the website id. GoatCounter: the site code or its count "
             "address. Own endpoint: the address the page sends its counts to."),
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
