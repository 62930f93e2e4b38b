#pragma once
// Indenting a page's HTML source without changing what a browser shows: only the
// whitespace between tags where a browser ignores it is rewritten. Tags, text,
// entities, comments and the contents of pre, textarea, script and style stay as
// they were written.

#include <QString>

namespace textmodel {

// Deeper blocks are indented as this many levels: the indentation of a page nested
// thousands of levels deep would otherwise grow with the square of its size.
constexpr int kMaxIndentLevels = 40;

struct FormatOptions {
    int indent = 2;  // spaces per level of block nesting
    QString lineEnd; // for the line breaks written; empty: the form most lines end in
};

// The page with one block element per line, each indented by its nesting. Formatting
// a formatted page gives it back unchanged.
QString FormatHtml(const QString &page, const FormatOptions &options = {});

// The 1-based line of `before` where `after` first differs from it; 0 when equal.
int FirstChangedLine(const QString &before, const QString &after);

} // namespace textmodel
