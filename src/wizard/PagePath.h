#pragma once
// Where the Save dialog of a new page opens, so the user never starts from nowhere.

#include "platform/Dialogs.h"

#include <QString>

namespace wizard {

// A remembered page path that names no file yet (it was typed, or the page was
// moved) is a suggestion: the dialog opens in its folder with its file name. Without
// one, it opens in `documentsFolder` with "<product name>.htm".
platform::FileRequest SuggestedPageRequest(const QString &forgottenPath, const QString &productName,
                                           const QString &documentsFolder);

// A product name as a file name: characters no file name may hold become "-".
QString PageFileNameFor(const QString &productName);

} // namespace wizard
