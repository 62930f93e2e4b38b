#pragma once
// `quillmark format`: the editor's Format command for scripts and checks before a commit.

#include <QStringList>

namespace cli {

// Runs `quillmark format` with `arguments` (after the command word); returns the exit status.
int FormatCommand(const QStringList &arguments);

} // namespace cli
