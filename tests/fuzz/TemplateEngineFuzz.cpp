// The template engine over random templates and page data: no crash, no leak,
// ReplaceAll agrees with QString::replace, and a link answer neither leaves its
// attribute nor becomes a script address. The picture sniffer on the same bytes.
#include "FuzzSupport.h"
#include "generation/AnswerSafety.h"
#include "generation/Fields.h"
#include "generation/PublishedPage.h"
#include "generation/SearchData.h"
#include "generation/modTemplates.h"

using namespace generation;

namespace {

QVector<ListRow> rows(FuzzedDataProvider &data, int columns)
{
    QVector<ListRow> out(data.ConsumeIntegralInRange(0, 4));
    for (ListRow &row : out) {
        row.text = fuzzing::text(data, 64);
        for (int c = 1; c < columns; ++c)
            row.subItems << fuzzing::text(data, 64);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    PageData page;
    for (const Field &field : Fields()) {
        if (field.placeholders.isEmpty())
            continue; // never placed
        if (field.kind == FieldKind::List)
            page.*field.rows = rows(data, int(field.columns.size()));
        else
            page.*field.text = data.ConsumeBool() ? fuzzing::text(data, 48) : QString();
    }
    const QString blockName = fuzzing::text(data, 32);
    const QString search = fuzzing::text(data, 8);
    const QString templateText =
        QString::fromLocal8Bit(QByteArray::fromStdString(data.ConsumeRemainingBytesAsString()));

    (void)FillTemplateText(templateText, page);
    (void)IsPictureData(templateText.toLocal8Bit());
    // A link answer stays inside its attribute and never becomes a script address, even
    // with later answers placed in attributes too.
    const QString support = FillTemplateText(
        QStringLiteral("<a href=\"<ZOR_PAGE_DATA_SUPPORTURL>\"><i title=\"<ZOR_PAGE_DATA_COPYRIGHT>\">"),
        page);
    FUZZ_CHECK(support.count(QLatin1Char('"')) == 4, support);
    QString address = support.mid(9, support.indexOf(QLatin1Char('"'), 9) - 9);
    address.replace(QLatin1String("&lt;"), QLatin1String("<"))
        .replace(QLatin1String("&gt;"), QLatin1String(">"))
        .replace(QLatin1String("&quot;"), QLatin1String("\""))
        .replace(QLatin1String("&#39;"), QLatin1String("'"))
        .replace(QLatin1String("&amp;"), QLatin1String("&"));
    FUZZ_CHECK(ScriptAddressScheme(address).isEmpty(), address);
    const QString order = OrderLinkRule(page.txtPurchaseURL);
    if (order.startsWith(QLatin1String("<a href='")) && !page.txtPurchaseURL.contains(QLatin1Char('<')))
        FUZZ_CHECK(order.count(QLatin1Char('\'')) == 2, order);
    (void)GetBlock(blockName, templateText);
    // The structured data stays one script whatever the answers; the published copy
    // maps its places back into the page.
    const QString structured = StructuredData(page);
    FUZZ_CHECK(structured.count(QLatin1Char('<')) == 2, structured);
    Price price;
    FUZZ_CHECK(!ReadPrice(page.txtMRP, price) || price.currency.size() == 3, page.txtMRP);
    (void)UnknownElementWarnings(page);
    std::vector<Cut> cuts;
    const QByteArray published = PublishedBytes(templateText.toUtf8(), &cuts);
    FUZZ_CHECK(OffsetInPage(cuts, published.size()) == templateText.toUtf8().size(), templateText);

    const QString replaced = ReplaceAll(templateText, search, page.txtSoftwareName);
    if (!search.isEmpty())
        FUZZ_CHECK(replaced == QString(templateText).replace(search, page.txtSoftwareName), search);
    else
        FUZZ_CHECK(replaced == templateText, search);
    for (const QString &value : {page.txtSoftwareName, page.txtPurchaseURL, page.txtSupportURL}) {
        (void)LineBreakRule(value);
        (void)AddressRule(value);
        (void)OrderLinkRule(value);
        (void)TrimBlanks(value);
    }
    return 0;
}
