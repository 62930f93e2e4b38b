#pragma once
// The page data record: a product's wizard answers. Every field bears the name of
// the wizard control that holds it; those names are also the keys of the wizard
// data file, so they must not change. Multi-line fields hold their line ends as
// CR LF pairs.

#include <QString>
#include <QStringList>
#include <QVector>

namespace generation {

// One row of a list view: the main text (column 1) and the sub-items (columns 2, 3 ...).
struct ListRow {
    QString text;
    QStringList subItems;

    // Sub-items are numbered from 1, as in the list view; a missing one reads as "".
    QString subItem(int number) const { return subItems.value(number - 1); }
};

struct PageData {
    // Placed in the page.
    QString txtSoftwareName;
    QString txtKeywords;
    QString txtOneLiner;
    QString txtSupportURL;
    QString txtAffiliateURL;
    QString txtExplainIn30Secs;
    QString txtCopyRightInfo;
    QString txtProblem;
    QString txtProlemSolution; // spelled so: it is the key in the wizard data file
    QString txtBenefits;
    QString txtComparison;
    QString txtProductImage;
    QString txtProductCaption;
    QString txtMRP;
    QString txtSpecialPrice;
    QString txtOrderWithinHours;
    QString txtPurchaseURL;
    QString txtOrderLaterIncentive;
    QString txtDownloadURL;
    QString txtDownloadMessage;
    QString txtDownloadRequirements;
    QString txtDownloadHelp;
    QString txtPageURL;    // the page's web address: absolute share and search data
    QString txtButtonText; // the order link's words; "" keeps the usual ones

    // A second version of the page, shown to half the visitors.
    QString chkTryVariantB; // "1": the page carries version B too
    QString txtOneLinerB;
    QString txtButtonTextB;
    QString txtSpecialPriceB;
    // Counting visits and order clicks: none, plausible, umami, goatcounter or endpoint.
    QString cmbCounting;
    QString txtCountingAddress; // the site's domain, site id or endpoint address

    // Stored with the answers but never placed in a page.
    QString txtOrderNowIncentive;
    QString txtTemplateHeaderImage;
    QString txtTemplateBackgroundImage;
    QString txtFAQQuestion;
    QString txtFAQAnswer;
    QString txtFeatureName;
    QString txtFeatureDetail;
    QString txtTestimonialName;
    QString txtTestimonialAdditionalInfo;
    QString txtTestimonial;
    QString txtGeneratedPage;
    QString chkHtaccess; // "1": write an Apache .htaccess beside the page

    // Rows in the order the user added them.
    QVector<ListRow> lvwFAQ;         // question; answer
    QVector<ListRow> lvwFeatures;    // name; details
    QVector<ListRow> lvwTestimonial; // person; more info, testimonial
};

// Column header texts of the three lists. The wizard data file builds its keys
// from them, so they are exact (note the trailing blank of "Testimonial From ").
inline const QStringList kFAQColumns = {QStringLiteral("Frequently Asked Question"),
                                        QStringLiteral("Response")};
inline const QStringList kFeatureColumns = {QStringLiteral("Name of the Feature"), QStringLiteral("Details")};
inline const QStringList kTestimonialColumns = {QStringLiteral("Testimonial From "),
                                                QStringLiteral("More Info"), QStringLiteral("Testimonial")};

} // namespace generation
