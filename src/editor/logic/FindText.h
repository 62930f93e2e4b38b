#pragma once
// Find and replace over a view's text, without a widget: the pattern that the
// options make, the next match from a position, and every match replaced.

#include "editor/source/SourceText.h"

#include <QRegularExpression>
#include <QString>
#include <optional>
#include <vector>

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

// Every non-empty match in `text`, first to last, with what it becomes. The places
// are replaced one by one, so the text between them is not touched.
std::vector<textmodel::Replacement> ReplacementsIn(const QString &text, const QRegularExpression &pattern,
                                                   const QString &replacement, bool regex);

} // namespace editor
