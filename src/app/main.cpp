// The program entry. With a command (generate, check, publish, --help, --version) it
// runs as a console program: a QCoreApplication only, so no display is needed and
// neither Qt Widgets nor Qt WebEngine is loaded. Otherwise it loads the window module
// and hands over to it.
#include "cli/CommandLine.h"
#include "cli/ProgramModule.h"

#include <QCoreApplication>
#include <QString>
#include <cstdio>

namespace {

QStringList argumentList(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

int runWindow(int &argc, char **argv)
{
    QString error;
    using Entry = int (*)(int *, char **);
    if (const auto entry = reinterpret_cast<Entry>(
            cli::LoadProgramFunction(QStringLiteral("quillmark-window.so"), "quillmark_window_main", error)))
        return entry(&argc, argv);
    std::fprintf(stderr,
                 "quillmark: cannot load the window (%s); the commands still work (see quillmark --help)\n",
                 error.toLocal8Bit().constData());
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
