// Every shipped template with the sample product, byte for byte against references/
// <template>.htm and .htm.files (folder and date replaced by fixed texts), and with the
// minimal product (a name, a one-liner and an order link) against <template>.minimal.txt,
// what a reader sees: a sentence, price or badge the vendor never gave shows in review.
// After a deliberate change: cmake --build build --target update-references, review the diff.
// Both pages come out finished (no placeholder left, every linked file beside them, no
// empty link, button or sentence, no page-check error); typed quotes never break a tag.
#include "SampleProducts.h"
#include "check/PageCheck.h"
#include "common/RecordingDialogs.h"
#include "common/References.h"
#include "common/TestSupport.h"
#include "generation/Fields.h"
#include "generation/modTemplates.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>
#include <gumbo.h>
#include <vector>

using namespace generation;
using RE = QRegularExpression;

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
const auto kOpts = RE::CaseInsensitiveOption | RE::DotMatchesEverythingOption;

// The words of the page body, one block per line, each picture named with its alternative
// text (a decoration can make a claim as well: a stamp, a seal, stars).
QString readerText(const QString &html)
{
    QString text = html.mid(html.indexOf(QStringLiteral("<body"), 0, Qt::CaseInsensitive));
    text.remove(RE(QStringLiteral("<!--.*?-->|<(script|style)\\b.*?</\\1>"), kOpts));
    static const RE image(QStringLiteral(R"(<img\b[^>]*>)"), kOpts);
    static const RE src(QStringLiteral(R"re(\bsrc="([^"]*)")re")),
        alt(QStringLiteral(R"re(\balt="([^"]*)")re"));
    for (auto m = image.match(text); m.hasMatch(); m = image.match(text, m.capturedStart())) {
        const QString altText = alt.match(m.captured()).captured(1);
        text.replace(m.capturedStart(), m.capturedLength(),
                     QStringLiteral("[picture %1%2]")
                         .arg(src.match(m.captured()).captured(1), altText.isEmpty() ? "" : ": " + altText));
    }
    text.replace(RE(QStringLiteral("</?(p|h[1-6]|li|dt|dd|tr|td|th|div|section|header|footer|nav|figure|"
                                   "figcaption|blockquote|summary|details|aside|main|ol|ul|dl|table|"
                                   "caption|br)\\b[^>]*>"),
                    kOpts),
                 QStringLiteral("\n"));
    text.remove(RE(QStringLiteral("<[^>]*>")));
    static const std::pair<const char *, const char *> entities[] = {
        {"&ndash;", "\u2013"}, {"&mdash;", "\u2014"}, {"&middot;", "\u00b7"},
        {"&rsquo;", "\u2019"}, {"&nbsp;", " "},       {"&quot;", "\""},
        {"&lt;", "<"},         {"&gt;", ">"},         {"&amp;", "&"}};
    for (const auto &[entity, character] : entities)
        text.replace(QLatin1String(entity), QString::fromUtf8(character));
    QStringList lines;
    for (const QString &line : text.split('\n'))
        if (!line.simplified().isEmpty())
            lines << line.simplified();
    return lines.join('\n') + '\n';
}

// Local files a page (src/href attributes, og/twitter image and url()) or a style sheet
// (url() only) refers to; addresses with a scheme, protocol-relative ones and anchors
// are not files.
QStringList localReferences(const QString &text, bool isPage)
{
    static const RE attr(R"re(\b(?:src|href)\s*=\s*(["'])(.*?)\1)re", kOpts);
    static const RE image(R"re(<meta\s+(?:property|name)="(?:og|twitter):image"\s+content="([^"]*)")re",
                          RE::CaseInsensitiveOption);
    static const RE url(R"re(url\(\s*["']?([^"')]*?)["']?\s*\))re", RE::CaseInsensitiveOption);
    static const RE scheme(R"(^[A-Za-z][A-Za-z0-9+.-]*:)");
    QStringList refs, local;
    for (auto it = attr.globalMatch(text); isPage && it.hasNext();)
        refs << it.next().captured(2);
    for (auto it = image.globalMatch(text); isPage && it.hasNext();)
        refs << it.next().captured(1);
    for (auto it = url.globalMatch(text); it.hasNext();)
        refs << it.next().captured(1);
    for (const QString &ref : refs)
        if (!ref.startsWith('#') && !ref.startsWith("//") && !scheme.match(ref).hasMatch())
            local << QUrl::fromPercentEncoding(ref.section('#', 0, 0).section('?', 0, 0).toUtf8());
    return local;
}

void expectFinishedPage(const QString &page)
{
    const QString html = ReadTextFile(page);
    static const RE zorName(R"(</?(ZOR_[A-Za-z0-9_]*))", RE::CaseInsensitiveOption);
    for (auto it = zorName.globalMatch(html); it.hasNext();) {
        const QString found = it.next().captured(1);
        EXPECT_TRUE(found.startsWith("ZOR_PAGE_DATA_") && kBlocks.contains(found.mid(14)))
            << "left in the page: " << found.toStdString();
    }
    // The page and its style sheets refer only to files copied beside it.
    QStringList refs = localReferences(html, true);
    for (int i = 0; i < refs.size(); ++i) {
        EXPECT_FALSE(refs[i].isEmpty()) << "an empty link or image source";
        const QString path = QFileInfo(page).dir().filePath(refs[i]);
        EXPECT_TRUE(QFileInfo(path).isFile()) << "missing beside the page: " << refs[i].toStdString();
        if (refs[i].endsWith(".css", Qt::CaseInsensitive) && i < 200)
            refs << localReferences(ReadTextFile(path), false);
    }
    static const RE anchor(R"re(href="#([^"]+)")re");
    for (auto it = anchor.globalMatch(html); it.hasNext();) {
        const QString id = it.next().captured(1);
        EXPECT_TRUE(html.contains("id=\"" + id + "\"")) << "no element for #" << id.toStdString();
    }
    // No link or button without words or a picture, and no element meant to hold words
    // that holds none; decorations hidden from assistive technology are empty on purpose.
    static const RE link(R"((<(a|button)\b[^>]*>)(.*?)</\2>)", kOpts);
    for (auto it = link.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        EXPECT_FALSE(m.captured(1).contains(RE(R"(href\s*=\s*(""|''))")))
            << "a link without a target: " << m.captured(0).toStdString();
        EXPECT_TRUE(!QString(m.captured(3)).remove(RE("<[^>]*>")).trimmed().isEmpty() ||
                    m.captured(3).contains("<img"))
            << "a link without text: " << m.captured(0).toStdString();
    }
    static const RE emptyText(
        R"(<(p|h[1-6]|li|dt|dd|td|th|s|strong|b|span|blockquote|figcaption|summary|title)\b(?![^>]*aria-hidden)[^>]*>\s*</\1>)",
        RE::CaseInsensitiveOption);
    const auto empty = emptyText.match(html);
    EXPECT_FALSE(empty.hasMatch()) << "an empty element: " << empty.captured(0).toStdString();
    const check::Report report = check::CheckPage(page);
    EXPECT_EQ(report.errors(), 0) << check::ToText(report).toStdString();
}

// Every attribute value of the page, decoded by a real HTML5 parser.
std::vector<QString> attributeValues(const QByteArray &html)
{
    std::vector<QString> values;
    GumboOutput *output = gumbo_parse_with_options(&kGumboDefaultOptions, html.constData(), html.size());
    std::vector<const GumboNode *> stack{output->root};
    while (!stack.empty()) {
        const GumboNode *n = stack.back();
        stack.pop_back();
        if (n->type != GUMBO_NODE_ELEMENT)
            continue;
        for (unsigned i = 0; i < n->v.element.attributes.length; ++i) {
            const auto *a = static_cast<const GumboAttribute *>(n->v.element.attributes.data[i]);
            values.push_back(QString::fromUtf8(a->name) + "=" + QString::fromUtf8(a->value));
        }
        for (unsigned i = 0; i < n->v.element.children.length; ++i)
            stack.push_back(static_cast<const GumboNode *>(n->v.element.children.data[i]));
    }
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return values;
}

QStringList shippedTemplates()
{
    return QDir(testing_support::sourceDir() + "/templates")
        .entryList({"*.htm"}, QDir::Files)
        .replaceInStrings(".htm", "");
}

} // namespace

TEST(ReferencePages, SampleAndMinimalProductsInEveryTemplate)
{
    testing_support::RecordingDialogs dialogs;
    const QString appFolder = testing_support::sourceDir();
    const QString references = appFolder + "/tests/generation/references/";
    QDir::setCurrent(QDir::tempPath()); // the relative image path must not depend on this
    const PageData sample = testing_support::LoadSampleProduct(appFolder);
    ASSERT_GE(sample.lvwTestimonial.size(), 3); // rows in both testimonial blocks
    const QStringList templates = shippedTemplates();
    ASSERT_EQ(templates.size(), 6);
    for (const QString &name : templates) {
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

        QTemporaryDir out, minimalOut;
        const QString page = out.filePath(name + ".htm");
        ASSERT_TRUE(GenerateTemplateBasedPage(appFolder, name, page, sample.txtProductImage, sample));
        testing_support::expectMatchesReference(references + name + ".htm", testing_support::readAll(page));
        QString list = QString::fromLocal8Bit(testing_support::readAll(page + ".files"));
        list.replace(out.path(), QStringLiteral("<page folder>"));
        list.replace(RE(QStringLiteral("(:: Date Generated : )[^\r\n]*")), QStringLiteral("\\1<date>"));
        testing_support::expectMatchesReference(references + name + ".htm.files", list.toLocal8Bit());
        expectFinishedPage(page);

        const QString minimal = minimalOut.filePath(name + ".htm");
        ASSERT_TRUE(GenerateTemplateBasedPage(appFolder, name, minimal, QString(),
                                              testing_support::MinimalProduct()));
        testing_support::expectMatchesReference(references + name + ".minimal.txt",
                                                readerText(ReadTextFile(minimal)).toUtf8());
        expectFinishedPage(minimal);
    }
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.lastMessage().toStdString();
}

TEST(ReferencePages, TypedQuotesAndAngleBracketsNeverBreakATag)
{
    testing_support::RecordingDialogs dialogs;
    const QString appFolder = testing_support::sourceDir();
    const QString typed = "\u00ab\"'<i>&amp;\u00bb"; // « and » mark where a typed value starts and ends
    PageData d = testing_support::LoadSampleProduct(appFolder);
    for (const Field &field : Fields())
        if (field.kind == FieldKind::Text && !field.placeholders.isEmpty() &&
            field.text != &PageData::txtProductImage)
            d.*field.text = typed;
    for (auto *rows : {&d.lvwFAQ, &d.lvwFeatures, &d.lvwTestimonial})
        for (ListRow &row : *rows) {
            row.text = typed;
            for (QString &sub : row.subItems)
                sub = typed;
        }
    const QStringList templates = shippedTemplates();
    ASSERT_EQ(templates.size(), 6);
    for (const QString &name : templates) {
        SCOPED_TRACE(name.toStdString());
        QTemporaryDir out;
        const QString page = out.filePath("offer.htm");
        ASSERT_TRUE(GenerateTemplateBasedPage(appFolder, name, page, d.txtProductImage, d));
        const QByteArray html = testing_support::readAll(page);
        EXPECT_TRUE(QString::fromUtf8(html).contains(typed)) << "text content keeps what was typed";
        int whole = 0;
        for (const QString &value : attributeValues(html)) {
            // A value cut short by its quote, or a stray attribute made of typed text.
            EXPECT_EQ(value.count(u'\u00ab'), value.count(typed)) << qPrintable(value);
            whole += value.count(typed);
        }
        EXPECT_GT(whole, 0) << "the template places no value inside a tag";
    }
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.lastMessage().toStdString();
}
