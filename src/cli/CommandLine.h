#pragma once
// The command line: `quillmark generate`, `check` and `publish`, run as a console
// program without any window.

#include <QStringList>

namespace cli {

enum ExitStatus {
    kDone = 0,     // check: no error findings
    kFailed = 1,   // generation refused, errors found, a file not published
    kBadUsage = 2, // unknown option, missing product or template, unreadable file
};

// Whether the program's arguments (arguments[0] being the program) ask for the
// command line rather than the window: a command, a help or version option, or a
// first word that is neither an option nor an existing file and so can only be a
// mistyped command.
bool IsCommandLine(const QStringList &arguments);

// Runs the command in `arguments` and returns the exit status. Needs a
// QCoreApplication; never creates a window.
int Run(const QStringList &arguments);

} // namespace cli
