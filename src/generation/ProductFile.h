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

// The product picture's path as file operations need it. An empty or absolute path is
// returned unchanged; a relative one (as the sample product holds) is taken from the
// first of `folders` (empty ones skipped) that holds it as a file, and when none does,
// from the first folder, so that a missing picture stays missing wherever the program
// was started. Without folders a relative path is returned unchanged.
QString ResolveProductImage(const QString &image, const QStringList &folders);

} // namespace generation
