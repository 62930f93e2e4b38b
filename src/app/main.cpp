// The program entry. With a command (generate, check, publish, --help, --version) it
// runs as a console program: a QCoreApplication only, so no display is needed and
// neither Qt Widgets nor Qt WebEngine is loaded. Otherwise it loads the window module
// and hands over to it.
#include "cli/CommandLine.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <cstdio>
#include <dlfcn.h>
#include <unistd.h>

#ifndef QUILLMARK_WINDOW_MODULE
#define QUILLMARK_WINDOW_MODULE "quillmark-window.so"
#endif
#ifndef QUILLMARK_WINDOW_MODULE_INSTALLED
#define QUILLMARK_WINDOW_MODULE_INSTALLED ""
#endif

namespace {

QStringList argumentList(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// The folder of the running executable (not of argv[0], which a launcher may set).
QString executableFolder()
{
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    return QFileInfo(QString::fromLocal8Bit(path, int(length))).path();
}

int runWindow(int &argc, char **argv)
{
    // Beside the executable in a build tree, in the library folder when installed.
    const QString folder = executableFolder();
    QString error;
    for (const QString &candidate : {folder + QStringLiteral("/" QUILLMARK_WINDOW_MODULE),
                                     folder + QStringLiteral("/" QUILLMARK_WINDOW_MODULE_INSTALLED)}) {
        if (candidate.endsWith(QLatin1Char('/')) || !QFileInfo(candidate).isFile())
            continue;
        void *module = ::dlopen(QFile::encodeName(candidate).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            error = QString::fromLocal8Bit(::dlerror());
            continue;
        }
        using Entry = int (*)(int *, char **);
        if (auto entry = reinterpret_cast<Entry>(::dlsym(module, "quillmark_window_main")))
            return entry(&argc, argv);
        error = candidate + QStringLiteral(" has no window entry");
    }
    std::fprintf(stderr,
                 "quillmark: cannot load the window (%s); the commands still work (see quillmark --help)\n",
                 (error.isEmpty() ? QStringLiteral(QUILLMARK_WINDOW_MODULE " not found") : error)
                     .toLocal8Bit()
                     .constData());
    return cli::kFailed;
}

} // namespace

int main(int argc, char **argv)
{
    if (!cli::IsCommandLine(argumentList(argc, argv)))
        return runWindow(argc, argv);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quillmark"));
    return cli::Run(QCoreApplication::arguments());
}
