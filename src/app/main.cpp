// The program entry: loads the main window and nothing else; the window's load
// handler does the start-up work.
#include "editor/frmMain.h"
#include "platform/widgets/QtDialogs.h"
#ifdef QUILLMARK_HAVE_WIZARD
#include "wizard/WizardPeer.h"
#endif

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <ctime>

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmark"));
    // Closing the main window ends the program, even while other windows are open.
    QApplication::setQuitOnLastWindowClosed(false);
    platform::QtDialogs dialogs;
    platform::setDialogs(&dialogs);

    editor::frmMain window;
#ifdef QUILLMARK_HAVE_WIZARD
    window.setWizardPeer(&wizard::peer());
#endif
    QObject::connect(&window, &editor::frmMain::programEnded, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    // Start-up timing: print the wall-clock moment the window is first shown and
    // leave, so that a script can measure from the process start.
    if (qEnvironmentVariableIntValue("QUILLMARK_EXIT_WHEN_SHOWN") == 1) {
        QObject::connect(&window, &editor::frmMain::firstShown, &app, [] {
            timespec now{};
            clock_gettime(CLOCK_REALTIME, &now);
            std::printf("QUILLMARK_SHOWN %lld.%09ld\n", static_cast<long long>(now.tv_sec), now.tv_nsec);
            std::fflush(stdout);
            QTimer::singleShot(0, [] { std::_Exit(0); });
        });
    }

    window.Form_Load();
    // Benchmarks: open a page in the editor, then tell when the window is ready.
    if (const QString page = qEnvironmentVariable("QUILLMARK_BENCH_PAGE"); !page.isEmpty())
        window.openPage(page);
    if (qEnvironmentVariableIntValue("QUILLMARK_PRINT_READY") == 1) {
        std::printf("QUILLMARK_READY\n");
        std::fflush(stdout);
    }
    return app.exec();
}
