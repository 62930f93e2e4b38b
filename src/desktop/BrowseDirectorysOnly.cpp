#include "desktop/BrowseDirectorysOnly.h"

#include "platform/Dialogs.h"

namespace desktop {

QString BrowseForFolder(QWidget *owner, const QString &title, const QString &startFolder)
{
    return platform::dialogs().chooseFolder(title, startFolder, owner);
}

} // namespace desktop
