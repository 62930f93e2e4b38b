// The window side of the program, built as a module that the entry loads only when
// it opens the window: the command line then never loads Qt Widgets or WebEngine.
// Loads the main window, whose load handler does the start-up work, and opens the
// page named on the command line.
#include "editor/frmMain.h"
#include "platform/widgets/DesignView.h"
#include "platform/widgets/QtDialogs.h"
#include "wizard/WizardPeer.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <ctime>

namespace {

void printMoment(const char *label, const QString &detail = {})
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::printf("%s %lld.%09ld%s%s\n", label, static_cast<long long>(now.tv_sec), now.tv_nsec,
                detail.isEmpty() ? "" : " ", detail.toLocal8Bit().constData());
    std::fflush(stdout);
}

} // namespace

extern "C" Q_DECL_EXPORT int quillmark_window_main(int *argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(*argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmark"));
    platform::DesignView::useShippedDictionaries();
    // Qt has taken its own options out by now; what is left is at most one page.
    const QStringList rest = QApplication::arguments().mid(1);
    for (const QString &argument : rest)
        if (argument.startsWith(QLatin1Char('-'))) {
            std::fprintf(stderr, "quillmark: unknown option %s (see quillmark --help)\n",
                         argument.toLocal8Bit().constData());
            return 2;
        }
    if (rest.size() > 1) {
        std::fprintf(stderr, "quillmark: the window opens one page at a time (see quillmark --help)\n");
        return 2;
    }
    const QString page = rest.isEmpty() ? QString() : QFileInfo(rest.first()).absoluteFilePath();

    // Closing the main window ends the program, even while other windows are open.
    QApplication::setQuitOnLastWindowClosed(false);
    platform::QtDialogs dialogs;
    platform::setDialogs(&dialogs);

    editor::frmMain window;
    window.setWizardPeer(&wizard::peer());
    QObject::connect(&window, &editor::frmMain::programEnded, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    // Start-up timing: print the wall-clock moments the window is first shown and the
    // editor is usable (the design view filled: with a page, the page open) and then
    // leave, so that a script can measure from the process start.
    const bool exitWhenShown = qEnvironmentVariableIntValue("QUILLMARK_EXIT_WHEN_SHOWN") == 1;
    if (exitWhenShown)
        QObject::connect(&window, &editor::frmMain::firstShown, &app, [] { printMoment("QUILLMARK_SHOWN"); });

    const bool opened = window.Form_Load(page);
    if (exitWhenShown) {
        if (page.isEmpty())
            printMoment("QUILLMARK_LOADED");
        else
            printMoment(opened ? "QUILLMARK_OPENED" : "QUILLMARK_NOT_OPENED", window.currentFile());
        std::_Exit(0);
    }
    // Benchmarks: open a page in the editor, then tell when the window is ready.
    if (const QString benchPage = qEnvironmentVariable("QUILLMARK_BENCH_PAGE"); !benchPage.isEmpty())
        window.openPage(benchPage);
    if (qEnvironmentVariableIntValue("QUILLMARK_PRINT_READY") == 1) {
        std::printf("QUILLMARK_READY\n");
        std::fflush(stdout);
    }
    return app.exec();
}
