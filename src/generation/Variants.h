#pragma once
// Two versions of one page and private counting. A page that tries a second version
// carries both: version A is the page as always, and every text that version B words
// differently (the catch phrase, the order link's words, the offer price) has its B
// text in a <template> that search engines and readers without script never see. A
// small script in <head> picks a version once per visitor, before anything is shown.
// Counting sends a page view and the order and trial clicks, each with its version,
// to one service the vendor chose, and to no one when none is chosen.

#include "generation/PageData.h"

#include <QString>
#include <QStringList>
#include <QVector>

namespace generation {

// --- Versions ---

// Whether the answers ask for a second version.
bool TriesVariantB(const PageData &data);
// Version B's answers: the main answers, with B's own wherever one is given.
PageData VariantBAnswers(const PageData &data);
// Makes version `which` ('a' or 'b') the page's only one: the winner's answers become
// the main answers, and the second version's answers are cleared.
void KeepVariant(PageData &data, char which);

// The words of the order link: the vendor's, or the usual ones.
QString OrderLinkWords(const QString &buttonText);

// Collects the places where the versions differ while a page is filled.
class VariantSites {
public:
    explicit VariantSites(bool on) : m_on(on) {}
    bool on() const { return m_on; }
    // The markup of one place: `a` as it is, and the means to show `b` instead.
    // `a` itself when the versions do not differ there.
    QString site(const QString &a, const QString &b);
    // The <template> with every B text; "" when nothing differs.
    QString templateElement() const;

private:
    bool m_on;
    QVector<QPair<QString, QString>> m_sites;
};

// The style and script that pick the version, for the end of <head>.
QString VariantHead();
// The marker a body placeholder becomes on a page with two versions, so that it is
// filled with both versions' markup (values in <head> and attributes stay version A's).
QString VariantToken(const QString &name);
QString MarkVariantPlaceholders(const QString &page, const QStringList &placeholders);
// Puts the head and the template into a filled page.
QString AddVariantMarkup(const QString &page, const VariantSites &sites);
// The page as a visitor of version `which` sees it, without script: the B texts in place
// of the A texts for 'b'. Pages with one version come back unchanged.
QString ShowVariant(const QString &page, char which);

// --- Counting ---

enum class Counting { None, Plausible, Umami, GoatCounter, Endpoint };
// The stored names: "none", "plausible", "umami", "goatcounter", "endpoint".
QStringList CountingNames();
Counting CountingService(const PageData &data);
// The address the counts are sent to; "" when counting is off or the answer cannot
// make one (the page then counts nothing).
QString CountingAddress(const PageData &data);
// The script that counts, for the end of <body>; "" when nothing is counted.
QString CountingScript(const PageData &data);

} // namespace generation
