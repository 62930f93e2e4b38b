#pragma once
// Writing a design-view edit back into the page's own text. The design view hands
// back its whole document re-serialised: attribute quotes, entities, letter case,
// line breaks and the head all come out in the browser's own form. Only the
// elements the edit touched should take that form; every other byte stays.

#include <QString>

namespace textmodel {

// The page text after a design-view edit. `original` is the text the design view
// was filled from, `before` the view's serialisation of it right after filling,
// `after` its serialisation now. Parts whose serialisation did not change keep
// their bytes from `original`; changed parts take theirs from `after`. Where the
// pieces cannot be matched safely a wider part is taken from `after`, at worst
// all of it, so the edit is never lost.
QString MergeDesignEdit(const QString &original, const QString &before, const QString &after);

} // namespace textmodel
