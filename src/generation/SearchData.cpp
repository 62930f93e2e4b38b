#include "generation/SearchData.h"

#include "generation/TemplateLanguage.h"

#include <QRegularExpression>
#include <QUrl>

namespace generation {
namespace {

const char kMark[] = "Written by Quillmark";

// Symbols that name one currency; "$" alone is read as US dollars, as most buyers do.
const std::pair<const char16_t *, const char *> kSymbols[] = {
    {u"US$", "USD"},    {u"C$", "CAD"},     {u"A$", "AUD"},      {u"NZ$", "NZD"},    {u"$", "USD"},
    {u"\u20ac", "EUR"}, {u"\u00a3", "GBP"}, {u"\u00a5", "JPY"},  {u"\u20b9", "INR"}, {u"\u20a9", "KRW"},
    {u"\u20ba", "TRY"}, {u"\u20bd", "RUB"}, {u"z\u0142", "PLN"}, {u"R$", "BRL"},     {u"CHF", "CHF"}};

const char *const kCodes[] = {"USD", "EUR", "GBP", "JPY", "INR", "CAD", "AUD", "NZD", "CHF", "CNY", "SEK",
                              "NOK", "DKK", "PLN", "CZK", "HUF", "BRL", "ZAR", "MXN", "SGD", "HKD", "KRW",
                              "RUB", "TRY", "ILS", "AED", "SAR", "THB", "IDR", "MYR", "PHP", "RON", "BGN"};

QString currencyOf(const QString &token)
{
    for (const auto &[symbol, code] : kSymbols)
        if (token == QString::fromUtf16(symbol))
            return QLatin1String(code);
    const QString upper = token.toUpper();
    for (const char *code : kCodes)
        if (upper == QLatin1String(code))
            return upper;
    return {};
}

// "1,299.00", "1.299,00", "49", "19.99" -> "1299.00", "1299.00", "49", "19.99"; "" when
// not a number. A last separator followed by one or two digits is the decimal point.
QString normalisedAmount(const QString &number)
{
    static const QRegularExpression shape(
        QStringLiteral(R"(^\d{1,3}(?:[.,\x{2009} ]\d{3})*(?:[.,]\d{1,2})?$|^\d+(?:[.,]\d{1,2})?$)"));
    if (!shape.match(number).hasMatch())
        return {};
    QString digits = number;
    QString decimals;
    const qsizetype last = qMax(number.lastIndexOf(QLatin1Char('.')), number.lastIndexOf(QLatin1Char(',')));
    if (last >= 0 && number.size() - last - 1 <= 2) {
        decimals = number.mid(last + 1);
        digits = number.left(last);
    }
    digits.remove(QRegularExpression(QStringLiteral(R"([^\d])")));
    return decimals.isEmpty() ? digits : digits + QLatin1Char('.') + decimals;
}

QString jsonPair(const char *key, const QString &value)
{
    return QStringLiteral(",\"%1\":\"%2\"").arg(QLatin1String(key), EscapeJsonString(value));
}

QString xmlEscaped(const QString &text)
{
    return text.toHtmlEscaped();
}

} // namespace

QString PageAddress(const PageData &data)
{
    QString text = data.txtPageURL.trimmed();
    if (text.isEmpty() || text.contains(QRegularExpression(QStringLiteral(R"(\s)"))))
        return {};
    if (!text.contains(QLatin1String("://")))
        text.prepend(QLatin1String("https://"));
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    return QString::fromLatin1(url.toEncoded());
}

QString AddressBeside(const QString &pageAddress, const QString &fileName)
{
    if (pageAddress.isEmpty() || fileName.isEmpty())
        return {};
    QUrl relative;
    relative.setPath(fileName); // a name with "?" or "#" stays a name
    return QString::fromLatin1(QUrl(pageAddress).resolved(relative).toEncoded());
}

bool ReadPrice(const QString &text, Price &price)
{
    static const QRegularExpression before(QStringLiteral(R"(^([^\d\s.,]{1,3})\s*(\d[\d.,\x{2009} ]*)$)"));
    static const QRegularExpression after(QStringLiteral(R"(^(\d[\d.,\x{2009} ]*?)\s*([^\d\s.,]{1,3})$)"));
    const QString t = text.trimmed();
    for (const QRegularExpression *form : {&before, &after}) {
        const QRegularExpressionMatch m = form->match(t);
        if (!m.hasMatch())
            continue;
        const bool symbolFirst = form == &before;
        const QString currency = currencyOf(m.captured(symbolFirst ? 1 : 2));
        const QString amount = normalisedAmount(m.captured(symbolFirst ? 2 : 1).trimmed());
        if (currency.isEmpty() || amount.isEmpty())
            return false;
        price = {amount, currency};
        return true;
    }
    return false;
}

QString StructuredData(const PageData &d)
{
    QString json = QStringLiteral("{\"@context\":\"https://schema.org\",\"@type\":\"SoftwareApplication\"");
    json += jsonPair("name", d.txtSoftwareName.trimmed());
    if (!d.txtOneLiner.trimmed().isEmpty())
        json += jsonPair("description", d.txtOneLiner.trimmed());
    const QString address = PageAddress(d);
    if (!address.isEmpty())
        json += jsonPair("url", address);
    // The price a buyer pays now: the offer when there is one, else the regular price.
    Price price;
    const QString asked = d.txtSpecialPrice.trimmed().isEmpty() ? d.txtMRP : d.txtSpecialPrice;
    if (ReadPrice(asked, price))
        json += QStringLiteral(",\"offers\":{\"@type\":\"Offer\"") + jsonPair("price", price.amount) +
                jsonPair("priceCurrency", price.currency) + QLatin1Char('}');
    json += QLatin1Char('}');
    return QStringLiteral("<script type=\"application/ld+json\">") + json + QStringLiteral("</script>");
}

QByteArray SitemapXml(const QString &pageAddress, const QDateTime &lastChange)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<!-- %1; rewritten each time the page is generated -->\n"
                          "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n"
                          "<url><loc>%2</loc><lastmod>%3</lastmod></url>\n"
                          "</urlset>\n")
        .arg(QLatin1String(kMark), xmlEscaped(pageAddress), lastChange.toUTC().toString(Qt::ISODate))
        .toUtf8();
}

QByteArray RobotsTxt(const QString &sitemapAddress)
{
    return QStringLiteral("# %1; rewritten each time the page is generated\n"
                          "User-agent: *\nDisallow:\n\nSitemap: %2\n")
        .arg(QLatin1String(kMark), sitemapAddress)
        .toUtf8();
}

QByteArray Htaccess()
{
    return QByteArray("# ") + kMark +
           "; rewritten each time the page is generated\n"
           "<IfModule mod_deflate.c>\n"
           "  AddOutputFilterByType DEFLATE text/html text/css text/plain text/xml application/xml "
           "application/javascript application/json application/ld+json image/svg+xml\n"
           "</IfModule>\n"
           "<IfModule mod_headers.c>\n"
           "  <FilesMatch \"\\.(png|jpe?g|gif|webp|avif|svg|ico)$\">\n"
           "    Header set Cache-Control \"public, max-age=604800\"\n"
           "  </FilesMatch>\n"
           "  <FilesMatch \"[.-][0-9a-f]{8,}\\.(png|jpe?g|gif|webp|avif|svg|ico)$\">\n"
           "    Header set Cache-Control \"public, max-age=31536000, immutable\"\n"
           "  </FilesMatch>\n"
           "</IfModule>\n";
}

bool WrittenByQuillmark(const QByteArray &bytes)
{
    return bytes.left(200).contains(kMark);
}

} // namespace generation
