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

// The options Qt's window toolkit reads itself (QGuiApplication, QApplication, xcb),
// in their "-x" and "--x" forms; those in the first list take a value, as the next
// argument or after "=". Everything after "--webEngineArgs" belongs to WebEngine.
// Any other argument that begins with "-" is a mistyped option, returned here so
// that it is refused before the toolkit starts (which would need a display).
QString unknownWindowOption(const QStringList &arguments)
{
    static const QStringList kWithValue = {
        QStringLiteral("platform"),      QStringLiteral("platformpluginpath"),
        QStringLiteral("platformtheme"), QStringLiteral("plugin"),
        QStringLiteral("qmljsdebugger"), QStringLiteral("qwindowgeometry"),
        QStringLiteral("qwindowicon"),   QStringLiteral("qwindowtitle"),
        QStringLiteral("session"),       QStringLiteral("display"),
        QStringLiteral("geometry"),      QStringLiteral("style"),
        QStringLiteral("stylesheet"),    QStringLiteral("title"),
        QStringLiteral("visual")};
    static const QStringList kFlags = {QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                                       QStringLiteral("nograb"), QStringLiteral("dograb"),
                                       QStringLiteral("sync")};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--") || argument == QLatin1String("--webEngineArgs"))
            break;
        if (!argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("-"))
            continue;
        const QString name =
            argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1).section(QLatin1Char('='), 0, 0);
        if (kWithValue.contains(name)) {
            if (!argument.contains(QLatin1Char('=')))
                ++i;
            continue;
        }
        if (!kFlags.contains(name))
            return argument;
    }
    return {};
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
    const QStringList arguments = argumentList(argc, argv);
    if (!cli::IsCommandLine(arguments)) {
        const QString unknown = unknownWindowOption(arguments);
        if (unknown.isEmpty())
            return runWindow(argc, argv);
        std::fprintf(stderr, "quillmark: unknown option \"%s\" (see quillmark --help)\n",
                     unknown.toLocal8Bit().constData());
        return cli::kBadUsage;
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quillmark"));
    return cli::Run(QCoreApplication::arguments());
}
