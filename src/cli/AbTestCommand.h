#pragma once
// `quillmark abtest`: which of two versions of a page sells more, from the counts the
// analytics service gives.

#include <QStringList>

namespace cli {

// Runs `quillmark abtest` with `arguments` (after the command word); returns the exit status.
int AbTestCommand(const QStringList &arguments);

} // namespace cli
