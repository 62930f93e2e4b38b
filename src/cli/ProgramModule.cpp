#include "cli/ProgramModule.h"

#include <QFile>
#include <QFileInfo>
#include <dlfcn.h>
#include <unistd.h>

#ifndef QUILLMARK_MODULE_FOLDER_INSTALLED
#define QUILLMARK_MODULE_FOLDER_INSTALLED "../lib/quillmark"
#endif

namespace cli {
namespace {

// The folder of the running executable (not of argv[0], which a launcher may set).
QString executableFolder()
{
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    return QFileInfo(QString::fromLocal8Bit(path, int(length))).path();
}

} // namespace

void *LoadProgramFunction(const QString &fileName, const char *symbol, QString &error)
{
    const QString folder = executableFolder();
    error = fileName + QStringLiteral(" not found");
    for (const QString &candidate :
         {folder + QLatin1Char('/') + fileName,
          folder + QStringLiteral("/" QUILLMARK_MODULE_FOLDER_INSTALLED "/") + fileName}) {
        if (!QFileInfo(candidate).isFile())
            continue;
        void *module = ::dlopen(QFile::encodeName(candidate).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            error = QString::fromLocal8Bit(::dlerror());
            continue;
        }
        if (void *function = ::dlsym(module, symbol))
            return function;
        error = candidate + QStringLiteral(" lacks ") + QLatin1String(symbol);
    }
    return nullptr;
}

} // namespace cli
