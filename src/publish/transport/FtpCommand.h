#pragma once
// The arguments of the transport's file commands, split into their two paths.

#include <QString>

namespace transport {

// "Put": `"local" remote`. Both paths may hold quotes and blanks: where the local
// path and the remote one end in the same file name settles the split. False (outputs unspecified) when
// either part is missing.
bool SplitPutArguments(const QString &args, QString &local, QString &remote);
// "Get": `remote "local"`. False (outputs unspecified) when either part is missing.
bool SplitGetArguments(const QString &args, QString &remote, QString &local);

} // namespace transport
