#pragma once
// The application folder: the folder that holds the executable, below which the
// program keeps every file (templates, sites, ftpinfo.ini, the preview file).
// Logic takes it as a parameter; windows read it here. Tests set a temporary one.

#include <QString>

namespace platform {

QString applicationFolder();
void setApplicationFolder(const QString &folder);

// folder + "/" + relative, without doubling the separator.
QString inAppFolder(const QString &relative);

} // namespace platform
