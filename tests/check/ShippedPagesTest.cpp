// Every shipped template, filled with typed quotes and angle brackets: they never break
// a tag, as a real HTML5 parser reads the page.
#include "common/RecordingDialogs.h"
#include "common/TestSupport.h"
#include "generation/Fields.h"
#include "generation/ProductFile.h"
#include "generation/modTemplates.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <gumbo.h>
#include <vector>

using namespace generation;

namespace {

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

} // namespace

TEST(ShippedPages, TypedQuotesAndAngleBracketsNeverBreakATag)
{
    testing_support::RecordingDialogs dialogs;
    const QString appFolder = testing_support::sourceDir();
    const QString typed = "\u00ab\"'<i>&amp;\u00bb"; // « and » mark where a typed value starts and ends
    PageData d;
    ASSERT_TRUE(LoadProduct(appFolder + "/sites/Ledgerlark.ini", d));
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
    QStringList templates = QDir(appFolder + "/templates").entryList({"*.htm"}, QDir::Files);
    ASSERT_EQ(templates.size(), 6);
    for (const QString &name : templates.replaceInStrings(".htm", "")) {
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
