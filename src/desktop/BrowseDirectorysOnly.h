#pragma once
// The folder picker.

#include <QString>

class QWidget;

namespace desktop {

// The chosen folder's path with the start folder preselected, or "" on cancel.
QString BrowseForFolder(QWidget *owner, const QString &title, const QString &startFolder);

} // namespace desktop
