#include "cli/ProgramModule.h"

#include <QFile>
#include <QFileInfo>
#include <dlfcn.h>
#include <elf.h>
#include <link.h>
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

bool BindsOwnSymbolsAtLoad(void *handle)
{
    link_map *map = nullptr;
    if (!handle || ::dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_ld)
        return false;
    for (const ElfW(Dyn) *d = map->l_ld; d->d_tag != DT_NULL; ++d) {
        if ((d->d_tag == DT_FLAGS && (d->d_un.d_val & DF_BIND_NOW)) ||
            (d->d_tag == DT_FLAGS_1 && (d->d_un.d_val & DF_1_NOW)))
            return true;
    }
    return false;
}

void *LoadProgramFunction(const QString &fileName, const char *symbol, QString &error,
                          bool dependenciesLazily)
{
    const QString folder = executableFolder();
    error = fileName + QStringLiteral(" not found");
    for (const QString &candidate :
         {folder + QLatin1Char('/') + fileName,
          folder + QStringLiteral("/" QUILLMARK_MODULE_FOLDER_INSTALLED "/") + fileName}) {
        if (!QFileInfo(candidate).isFile())
            continue;
        const QByteArray path = QFile::encodeName(candidate);
        void *module = ::dlopen(path.constData(), (dependenciesLazily ? RTLD_LAZY : RTLD_NOW) | RTLD_LOCAL);
        if (module && dependenciesLazily && !BindsOwnSymbolsAtLoad(module)) {
            ::dlclose(module); // not linked to bind its own: everything is bound at load
            module = ::dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
        }
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
