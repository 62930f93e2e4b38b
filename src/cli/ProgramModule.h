#pragma once
// Parts of the program that only some runs need (the window, publishing) are
// modules loaded on demand, so the others start without their libraries.

#include <QString>

namespace cli {

// The function `symbol` of the module `fileName`, looked for beside the executable
// (a build tree) and then in the program's library folder (installed); nullptr with
// `error` set when the module or the function is missing.
void *LoadProgramFunction(const QString &fileName, const char *symbol, QString &error);

} // namespace cli
