#pragma once
// The pages opened or saved last, newest first, kept in a small text file (one
// full path a line) for the "Open Recent" menu.

#include <QString>
#include <QStringList>

namespace editor {

constexpr int kRecentPagesMax = 10;

// `pages` with `path` moved (or added) to the front, at most ten entries.
QStringList WithRecentPage(QStringList pages, const QString &path);
// The list in `file`; empty when it cannot be read. Blank lines are skipped.
QStringList LoadRecentPages(const QString &file);
// Writes the list through a temporary file and a rename; false on failure.
bool SaveRecentPages(const QString &file, const QStringList &pages);

} // namespace editor
