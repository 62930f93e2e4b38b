#pragma once
// Parts of the program that only some runs need (the window, publishing) are
// modules loaded on demand, so the others start without their libraries.

#include <QString>

namespace cli {

// The function `symbol` of the module `fileName`, looked for beside the executable
// (a build tree) and then in the program's library folder (installed); nullptr with
// `error` set when the module or the function is missing.
//
// Every symbol is bound at load, so that a module that does not match the program fails
// there with a clear message rather than in the middle of a run. `dependenciesLazily`:
// the libraries the module pulls in (libcurl's dozens) bind only the functions a run
// calls; the module's own symbols are still bound at load, as it is linked to bind them
// (-z now), and one that is not is loaded binding everything.
void *LoadProgramFunction(const QString &fileName, const char *symbol, QString &error,
                          bool dependenciesLazily = false);

// Whether the loaded module `handle` binds its own symbols at load whatever dlopen's mode.
bool BindsOwnSymbolsAtLoad(void *handle);

} // namespace cli
