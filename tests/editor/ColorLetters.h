#pragma once
// Colours of the source colouring as letters, so that a whole text's colours read
// (and diff) as one string: B blue tag, R red value, G green comment, `untouched`
// for black text, ? for any other colour.

#include "editor/logic/SourceColoring.h"

#include <QString>

namespace editor_testing {

inline QChar colorLetter(textmodel::ColorValue color, QChar untouched)
{
    return color == editor::kColorTag       ? QLatin1Char('B')
           : color == editor::kColorValue   ? QLatin1Char('R')
           : color == editor::kColorComment ? QLatin1Char('G')
           : color == editor::kColorText    ? untouched
                                            : QLatin1Char('?');
}

// The colour runs laid over `size` untouched characters, later runs over earlier ones
// as the view applies them.
inline QString runLetters(const textmodel::ColorRuns &runs, qsizetype size, QChar untouched)
{
    QString out(size, untouched);
    for (const textmodel::ColorRun &run : runs)
        out.replace(run.start, run.length, QString(run.length, colorLetter(run.color, untouched)));
    return out;
}

} // namespace editor_testing
