#pragma once
// Find and replace over a view's text, without a widget: the pattern that the
// options make, the next match from a position, and every match replaced.

#include <QRegularExpression>
#include <QString>
#include <optional>

namespace editor {

struct FindOptions {
    bool matchCase = false;
    bool wholeWord = false; // the match neither starts nor ends inside a word
    bool regex = false;     // `what` is a regular expression; the replacement may use \1 to \9
};

struct TextMatch {
    qsizetype start = -1;
    qsizetype length = 0;
    bool found() const { return start >= 0; }
};

// The pattern for `what` under `options`; nothing, with a reason in `error`, for an
// empty text or a regular expression that does not compile.
std::optional<QRegularExpression> FindPattern(const QString &what, const FindOptions &options,
                                              QString *error = nullptr);

// The first match at or after `from`, or (backward) the last one that ends at or
// before `from`; when there is none on that side, the search wraps round once.
// Empty matches are skipped.
TextMatch FindIn(const QString &text, qsizetype from, const QRegularExpression &pattern,
                 bool backward = false);

// The replacement text for `match` (a match of the pattern at that place): literal,
// or with \0 to \9 and \\ expanded for a regular expression.
QString ExpandReplacement(const QRegularExpressionMatch &match, const QString &replacement, bool regex);

// Every non-empty match in text[from, to) replaced; `count` receives their number.
// Returns the replaced span only: the caller swaps it for text[first, last) where
// `first`/`last` are the first match's start and the last match's end.
struct ReplaceAllResult {
    int count = 0;
    qsizetype first = 0; // start of the first match in the original text
    qsizetype last = 0;  // end of the last match in the original text
    QString replaced;    // what text[first, last) becomes
};
ReplaceAllResult ReplaceAllIn(const QString &text, const QRegularExpression &pattern,
                              const QString &replacement, bool regex);

} // namespace editor
