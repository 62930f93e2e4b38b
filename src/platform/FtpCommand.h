#pragma once
// The arguments of the transport's file commands, split into their two paths.

#include <QString>

namespace platform {

// "Put": `"local" remote`. False (outputs unspecified) when either part is missing.
bool SplitPutArguments(const QString &args, QString &local, QString &remote);
// "Get": `remote "local"`. False (outputs unspecified) when either part is missing.
bool SplitGetArguments(const QString &args, QString &remote, QString &local);

} // namespace platform
