#pragma once
// Source colouring of the source view: a whole pass after the view is filled, and
// the colour of each character as the user types it.

#include "editor/logic/SourceColoring.h"
#include "editor/source/SourceText.h"

#include <QString>
#include <vector>

namespace platform {
class SourceView;
}

namespace editor::modMain {

// The typing flags: program-wide, shared by every document shown in the source
// view, changed only by ColorizeTypedChar (loading or colouring leaves them alone).
extern bool InTag;
extern bool InValue;
extern bool InQuotes;
extern bool InComment;

// ColorizeRange over the whole text, then the caret to position 0.
void ColorizeSource(platform::SourceView &view);
// Colours every tag and comment whose "<" lies at or after 1-based `start` and
// before `end` (0 means 1, -1 means the end of the text), in one edit block. The
// selection is kept; the view takes the focus.
void ColorizeRange(platform::SourceView &view, int start = 1, int end = -1);
// Replaces the places of `text` (the view's Text()) as SourceView::replacePlaces
// does, then colours again what the replacements may have changed: from the tag the
// first place begins in to the end of the last. Returns where the last one ends.
qsizetype ReplacePlaces(platform::SourceView &view, const QString &text,
                        const std::vector<textmodel::Replacement> &places);
// Colours one tag: `tagText` runs from its "<" at 1-based `lt` to its ">" at `gt`.
void ColorizeTag(platform::SourceView &view, const QString &tagText, int lt, int gt);
// The key-press rule set: returns the code to insert (0 = swallowed), having set
// the colour at the caret of `view` (and, for "<!", written "<!--").
int ColorizeTypedChar(platform::SourceView &view, int keyAscii);

// Routes the typed characters of `view` through ColorizeTypedChar.
void InstallColorizeHook(platform::SourceView &view);

} // namespace editor::modMain
