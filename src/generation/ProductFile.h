#pragma once
// A saved product (the wizard's data file) read without the wizard's window.

#include "generation/PageData.h"

#include <QString>
#include <QStringList>

namespace generation {

// The data file for `nameOrPath`: a path (it names an existing file, or it holds a
// folder separator or ends in ".ini") is taken as it is; a bare name is looked up as
// "sites/<name>.ini" in each of `dataFolders`, the first one found winning.
// Returns "" when there is none.
QString FindProduct(const QString &nameOrPath, const QStringList &dataFolders);

// Fills `data` from the product file at `path`, keys as the wizard saves them.
// False when the file cannot be read.
bool LoadProduct(const QString &path, PageData &data);

// A relative product image path, as the sample product holds it, is resolved against
// each of `folders` in turn; an absolute or unresolvable one is returned unchanged.
QString ResolveProductImage(const QString &image, const QStringList &folders);

} // namespace generation
