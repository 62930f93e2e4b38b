#pragma once
// Colouring of HTML source text, computed without a widget: the colour runs of a
// whole pass over the text, and the rules applied to each typed character.
// Positions handed in are 1-based character positions (as the colouring
// procedures use them); the runs handed out are 0-based.

#include "editor/source/ColorRun.h"

#include <QString>
#include <optional>

namespace editor {

// Colour values, red in the lowest byte.
constexpr textmodel::ColorValue kColorText = 0x000000;    // black: text between tags
constexpr textmodel::ColorValue kColorTag = 0xFF0000;     // blue: tags and attribute names
constexpr textmodel::ColorValue kColorValue = 0x0000FF;   // red: attribute values
constexpr textmodel::ColorValue kColorComment = 0x008000; // green: comments

// The runs that colour one tag, `tag` being the text from its "<" at 1-based
// position `lt` to its ">" at position `gt`. The whole tag comes first in blue, then
// each attribute value in red: later runs paint over earlier ones.
textmodel::ColorRuns tagColorRuns(const QString &tag, int lt, int gt);
// Appends the runs of one tag to `out` (same order as tagColorRuns).
void appendTagColorRuns(QStringView tag, int lt, int gt, textmodel::ColorRuns &out);

// The runs of a pass over `text` colouring every tag and comment whose "<" lies at
// or after 1-based `start` and before `end` (start 0 means 1, end -1 means the
// length of the text). The pass stops at a "<" without a later ">" and at a comment
// without a later "->"; text between tags gets no run (it keeps its colour).
textmodel::ColorRuns rangeColorRuns(const QString &text, int start = 1, int end = -1);

// Whether removing or inserting `text` can move where the pass colours tags, values
// and comments: only text with "<", ">", "=", a quote, a space, "!" or "-" can.
bool ShapesColoring(QStringView text);

// The typing state kept between key presses.
struct TypingState {
    bool InTag = false;     // a "<" was typed and its ">" not yet
    bool InValue = false;   // an "=" was typed inside a tag
    bool InQuotes = false;  // inside a double-quoted attribute value
    bool InComment = false; // a comment was begun by typing "<!"
    friend bool operator==(const TypingState &a, const TypingState &b)
    {
        return a.InTag == b.InTag && a.InValue == b.InValue && a.InQuotes == b.InQuotes &&
               a.InComment == b.InComment;
    }
};

// The "<!" completion just written, as long as the user types right after it: the
// dashes the user goes on to type are already there, and a letter means a
// declaration ("<!DOCTYPE"), not a comment.
struct CommentCompletion {
    int caret = -1;       // 0-based caret position right after the "<!--"; -1 when none
    int dashesToTake = 0; // typed dashes still to absorb
};

// What to do with one typed character.
struct TypedCharAction {
    int key = 0;                                // the code to insert; 0 swallows the key
    std::optional<textmodel::ColorValue> color; // colour to set at the caret first, if any
    // Replace the "<" just before the caret by "<!--" in green (the caret follows it).
    bool openComment = false;
    // Replace the "<!--" just before the caret by "<!" in blue, then insert the key.
    bool takeBackComment = false;
};

// Applies the typing rules for the character `key` to `state`. `charBeforeCaret` is
// the character just before the caret, or a null QChar at the start of the text;
// `caret` is the 0-based caret position (with no selection; -1 when a selection
// is replaced) and `completion` the state of the "<!" completion.
TypedCharAction typedCharAction(TypingState &state, int key, QChar charBeforeCaret);
TypedCharAction typedCharAction(TypingState &state, CommentCompletion &completion, int key,
                                QChar charBeforeCaret, int caret);

} // namespace editor
