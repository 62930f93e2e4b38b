#pragma once
// The HTML text of the insert-table dialog: a table of empty cells.

#include <QString>
#include <optional>

namespace editor {

struct TableSetup {
    QString align;   // empty gives "Left"
    QString border;  // empty gives "1"
    QString spacing; // empty gives "1"
    QString padding; // empty gives "1"
    int rows = 3;    // 0 or less: no rows
    int columns = 3; // 0 or less: rows without cells
};

// Lines end in CR LF, the last one included.
QString BuildTableText(int tableId, const TableSetup &setup);

// A rows or columns entry as a 16-bit whole number (blanks around it allowed);
// nothing when it is empty, not a number or out of range.
std::optional<qint16> ParseCount(const QString &text);

// Above this many cells the dialog asks before inserting; above the maximum it
// refuses (the text and the design view's insertion grow with every cell).
constexpr long long kLargeTableCells = 10000;
constexpr long long kMaxTableCells = 100000;

} // namespace editor
