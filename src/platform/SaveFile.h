#pragma once
// Housekeeping for files replaced through a temporary file and a rename (QSaveFile).

#include <QString>

namespace platform {

// Removes what an interrupted earlier save of `target` left beside it: QSaveFile links
// its data under "<name>.XXXXXX" just before renaming it over the target, so a save
// killed between the two leaves that name behind. Call it right before saving `target`
// again. Returns how many files were removed.
int RemoveStaleSaveFiles(const QString &target);

} // namespace platform
