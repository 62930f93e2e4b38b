#pragma once
// Places in a text given as line and column, as a check report names them.

#include <QString>

namespace editor {

// Position of 1-based `line` and `column` in `text` (lines end in "\n"); a column past
// the line's end gives the line's end, a line past the text's end gives the end.
int TextPosition(const QString &text, int line, int column);
// Length of the token that starts at `position`: up to a blank, a quote or the end of
// a tag (a tag's own "<" and ">" included), at least one character.
int TokenLength(const QString &text, int position);

} // namespace editor
