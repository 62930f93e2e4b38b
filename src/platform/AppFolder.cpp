#include "AppFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace platform {
namespace {
QString g_folder;
}

QString applicationFolder()
{
    if (g_folder.isEmpty() && QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return g_folder;
}

void setApplicationFolder(const QString &folder) { g_folder = QDir::cleanPath(folder); }

QString inAppFolder(const QString &relative)
{
    QString base = applicationFolder();
    if (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + QLatin1Char('/') + relative;
}

} // namespace platform
