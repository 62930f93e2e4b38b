#pragma once
// The page check: looks at a page file, the style sheets beside it and its ".files"
// list for what would go wrong once the page is live (placeholders left, missing or
// unpublished files, missing texts, placeholder addresses, weight). Built on a real
// HTML5 parser, so every finding has the line and column it is about.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

namespace check {

enum class Severity { Error, Warning };

struct Finding {
    QString file;   // the page, or the style sheet the finding is in
    int line = 0;   // 1-based
    int column = 0; // 1-based, in characters of the line
    Severity severity = Severity::Warning;
    QString rule; // e.g. "placeholder-left", "missing-file", "img-alt"
    QString message;
};

struct Report {
    QString page;
    QVector<Finding> findings; // by file (the page first), then line and column
    // What a phone of kPhoneWidth px loads: the page as sent, its style sheets and the
    // pictures it would pick; 0 when the page was not checked to the end.
    qint64 phoneBytes = 0;
    int errors() const;
    int warnings() const;
};

// Reads the page, the dependency list beside it (page path + ".files") and its local style sheets.
// A page or style sheet over `maxBytes` is not read: it gets a "too-large" finding.
constexpr qint64 kDefaultMaxBytes = 20 * 1024 * 1024;
Report CheckPage(const QString &pagePath, qint64 maxBytes = kDefaultMaxBytes);
QString ToText(const Report &); // one line per finding: FILE:LINE:COLUMN: SEVERITY: RULE: message
QByteArray ToJson(
    const Report
        &); // {"page":…,"errors":N,"warnings":N,"findings":[{"rule","severity","line","column","message"}]}

// Before publishing: the reports of the pages among `paths` that have errors, and the
// question that asks whether to send them anyway. Pages are the files ending in .htm
// or .html that have their ".files" list beside them (the pages Quillmark made).
QVector<Report> PagesWithErrors(const QStringList &paths);
QString SendAnywayQuestion(const QVector<Report> &pages);

// The local files a page refers to (src, href, srcset, url() and @import, in its style
// sheets too), as clean absolute paths in the order first met: those that exist, and
// the pictures, style sheets and scripts that do not. The page itself is left out.
QStringList LocalReferences(const QString &pagePath, qint64 maxBytes = kDefaultMaxBytes);

// Limits the rules use.
constexpr int kMaxTitleLength = 60;
constexpr int kMaxDescriptionLength = 160;
constexpr qint64 kMaxPictureBytes = 500 * 1024;
constexpr qint64 kMaxPageBytes = 2 * 1024 * 1024;
// What a phone may load: the page, its style sheets and the pictures it shows at this width.
constexpr int kPhoneWidth = 390;
constexpr qint64 kMaxPhoneBytes = 500 * 1024;
constexpr int kMaxNesting = 1000;         // deeper pages are not checked (browsers stop at 512)
constexpr int kMaxFindingsPerRule = 1000; // the rest are counted in one last finding

} // namespace check
