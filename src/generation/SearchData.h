#pragma once
// What search engines and link previews read about a page: its web address and the
// absolute addresses made from it, the SoftwareApplication data (JSON-LD), the price as
// an amount and a currency, and the sitemap.xml and robots.txt written beside the page.

#include "generation/PageData.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace generation {

// The page's web address from `txtPageURL`: an http or https address with a host
// ("https://" is assumed when no scheme is written), percent-encoded; "" when the
// answer is blank or is no such address.
QString PageAddress(const PageData &data);
// `fileName` (a file beside the page) as an absolute address; "" without a page address.
QString AddressBeside(const QString &pageAddress, const QString &fileName);

// A price answer read as an amount and a currency: a symbol or an ISO code before or
// after the number ("$49", "49 EUR", "£19.99", "1.299,00 €"). False when it does not
// read so (then nothing is claimed).
struct Price {
    QString amount;   // e.g. "19.99"
    QString currency; // ISO 4217, e.g. "GBP"
};
bool ReadPrice(const QString &text, Price &price);

// The <script type="application/ld+json"> element describing the product; every
// answer is JSON-escaped so that none can end the script.
QString StructuredData(const PageData &data);

// sitemap.xml naming the page with its last change; robots.txt pointing at the sitemap.
QByteArray SitemapXml(const QString &pageAddress, const QDateTime &lastChange);
QByteArray RobotsTxt(const QString &sitemapAddress);
// An Apache .htaccess that compresses text and lets browsers keep pictures: a year for
// names that carry a content hash (they change name when they change), a week for others.
QByteArray Htaccess();
// Whether an existing file is one Quillmark wrote (and so may be rewritten).
bool WrittenByQuillmark(const QByteArray &bytes);

} // namespace generation
