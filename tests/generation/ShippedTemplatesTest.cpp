// The shipped templates filled with the shipped sample product and with a minimal one
// (a name, a one-liner and an order link): every page comes out complete (no
// placeholder left), finds every file it links to beside it, passes the page check
// without an error, and leaves no empty link, button or sentence behind.
#include "SampleProducts.h"
#include "check/PageCheck.h"
#include "common/RecordingDialogs.h"
#include "common/TestSupport.h"
#include "generation/modTemplates.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

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
// clang-format on
const int kShippedTemplates = 6;

// Local files a page (src/href/content attributes and url()) or a style sheet (url()
// only) refers to; addresses with a scheme, protocol-relative ones and anchors are not
// files. Meta tags name the product picture for link previews, so they count too.
QStringList localReferences(const QString &text, bool isPage)
{
    static const QRegularExpression attr(R"re(\b(?:src|href)\s*=\s*(["'])(.*?)\1)re",
                                         QRegularExpression::CaseInsensitiveOption |
                                             QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression image(
        R"re(<meta\s+(?:property|name)="(?:og|twitter):image"\s+content="([^"]*)")re",
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression url(R"re(url\(\s*["']?([^"')]*?)["']?\s*\))re",
                                        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression scheme(R"(^[A-Za-z][A-Za-z0-9+.-]*:)");
    QStringList refs;
    for (auto it = attr.globalMatch(text); isPage && it.hasNext();)
        refs << it.next().captured(2);
    for (auto it = image.globalMatch(text); isPage && it.hasNext();)
        refs << it.next().captured(1);
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

// Text of an element with its tags taken out and entities counted as text.
QString visibleText(const QString &html)
{
    static const QRegularExpression tags("<[^>]*>");
    return QString(html).remove(tags).trimmed();
}

// Checks one generated page; `what` names the template and product in messages.
void expectFinishedPage(const QString &folder, const QString &html)
{
    static const QRegularExpression zorName(R"(</?(ZOR_[A-Za-z0-9_]*))",
                                            QRegularExpression::CaseInsensitiveOption);
    for (auto it = zorName.globalMatch(html); it.hasNext();) {
        const QString found = it.next().captured(1);
        EXPECT_TRUE(found.startsWith("ZOR_PAGE_DATA_") && kBlocks.contains(found.mid(14)))
            << "left in the page: " << found.toStdString();
    }
    // The page and its style sheets refer only to files copied beside it.
    QStringList refs = localReferences(html, true);
    for (int i = 0; i < refs.size(); ++i) {
        EXPECT_FALSE(refs[i].isEmpty()) << "an empty link or image source";
        const QString path = QDir(folder).filePath(refs[i]);
        EXPECT_TRUE(QFileInfo(path).isFile()) << "missing beside the page: " << refs[i].toStdString();
        if (refs[i].endsWith(".css", Qt::CaseInsensitive) && i < 200)
            refs << localReferences(ReadTextFile(path), false);
    }
    // Every in-page link finds its target.
    static const QRegularExpression anchor(R"re(href="#([^"]+)")re");
    for (auto it = anchor.globalMatch(html); it.hasNext();) {
        const QString id = it.next().captured(1);
        EXPECT_TRUE(html.contains("id=\"" + id + "\"")) << "no element for #" << id.toStdString();
    }
    // No link or button without words or a picture, and no element that was meant to
    // hold words and holds none (an empty price, heading, sentence or caption);
    // decorations hidden from assistive technology are empty on purpose.
    static const QRegularExpression link(R"((<(a|button)\b[^>]*>)(.*?)</\2>)",
                                         QRegularExpression::CaseInsensitiveOption |
                                             QRegularExpression::DotMatchesEverythingOption);
    for (auto it = link.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        EXPECT_FALSE(m.captured(1).contains(QRegularExpression(R"(href\s*=\s*(""|''))")))
            << "a link without a target: " << m.captured(0).toStdString();
        EXPECT_TRUE(!visibleText(m.captured(3)).isEmpty() || m.captured(3).contains("<img"))
            << "a link without text: " << m.captured(0).toStdString();
    }
    static const QRegularExpression emptyText(
        R"(<(p|h[1-6]|li|dt|dd|td|th|s|strong|b|span|blockquote|figcaption|summary|title)\b(?![^>]*aria-hidden)[^>]*>\s*</\1>)",
        QRegularExpression::CaseInsensitiveOption);
    const auto empty = emptyText.match(html);
    EXPECT_FALSE(empty.hasMatch()) << "an empty element: " << empty.captured(0).toStdString();
}

} // namespace

TEST(ShippedTemplates, EveryTemplateUsesTheWholeVocabularyAndGivesAFinishedPage)
{
    testing_support::RecordingDialogs dialogs;
    const QString appFolder = testing_support::sourceDir();
    QDir::setCurrent(QDir::tempPath()); // the relative image path must not depend on this
    const PageData sample = testing_support::LoadSampleProduct(appFolder);
    ASSERT_FALSE(sample.lvwFAQ.isEmpty() || sample.lvwFeatures.isEmpty() || sample.txtMRP.isEmpty());
    ASSERT_GE(sample.lvwTestimonial.size(), 3); // rows in both testimonial blocks
    const PageData minimal = testing_support::MinimalProduct();
    QStringList templates = QDir(appFolder + "/templates").entryList({"*.htm"}, QDir::Files);
    ASSERT_EQ(templates.size(), kShippedTemplates);

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
        for (const char *meta : {"name=\"viewport\"", "property=\"og:title\"", "property=\"og:description\"",
                                 "property=\"og:image\"", "name=\"twitter:card\"", "name=\"twitter:image\""})
            EXPECT_TRUE(text.contains(meta)) << "lacks " << meta;

        // Generates the page for `product` in a folder of its own and checks it; returns its text.
        const auto finished = [&](const PageData &product, const char *which) {
            SCOPED_TRACE(which);
            QTemporaryDir out;
            QString page = out.filePath("offer.htm"), image = product.txtProductImage;
            EXPECT_TRUE(GenerateTemplateBasedPage(appFolder, name, page, image, product));
            const QString html = ReadTextFile(page);
            expectFinishedPage(out.path(), html);
            const check::Report report = check::CheckPage(page);
            EXPECT_EQ(report.errors(), 0) << check::ToText(report).toStdString();
            return html;
        };
        QString html = finished(sample, "sample");
        EXPECT_TRUE(localReferences(html, true).contains(QFileInfo(sample.txtProductImage).fileName()));
        for (const auto *list : {&sample.lvwFAQ, &sample.lvwFeatures, &sample.lvwTestimonial})
            for (const ListRow &row : *list)
                EXPECT_TRUE(html.contains(LineBreakRule(row.text))) << row.text.toStdString();
        for (const QString &value : {sample.txtMRP, sample.txtSpecialPrice, sample.txtCopyRightInfo})
            EXPECT_TRUE(html.contains(value)) << value.toStdString();
        html = finished(minimal, "minimal");
        EXPECT_TRUE(html.contains(OrderLinkRule(minimal.txtPurchaseURL)));
        for (const char *fragment : {"Get it for", "instead of", "within", " was", "Regular price"})
            EXPECT_FALSE(visibleText(html).contains(fragment))
                << "a sentence about a missing answer: " << fragment;
    }
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.lastMessage().toStdString();
}
