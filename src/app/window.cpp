// The window side of the program, built as a module that the entry loads only when
// it opens the window: the command line then never loads Qt Widgets or WebEngine.
// Loads the main window, whose load handler does the start-up work, and opens the
// page named on the command line.
#include "editor/frmMain.h"
#include "editor/modMain.h"
#include "platform/Dialogs.h"
#include "platform/widgets/BrowserView.h"
#include "platform/widgets/DesignView.h"
#include "platform/widgets/QtDialogs.h"
#include "platform/widgets/SourceView.h"
#include "wizard/WizardPeer.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <ctime>

namespace {

// Opens `path` in all three views, as the wizard's hand-off does.
// Interim, until the editor's own open operation is merged: then this function goes
// and the caller uses frmMain::openPage(path) and frmMain::currentFile().
bool openPage(editor::frmMain &window, const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        platform::msgBox(QStringLiteral("Unable to open ") + path + QStringLiteral(": no such file."),
                         &window);
        return false;
    }
    window.CurrentFile = path;
    const bool designLoaded = window.DHTMLEdit1->LoadDocument(path);
    window.WebBrowser1->Stop();
    window.WebBrowser1->Navigate(QStringLiteral("file://") + path);
    const bool sourceLoaded = window.rtbHTMLSource->LoadFile(path);
    window.rtbHTMLSource->setSelStart(0);
    editor::modMain::ColorizeSource(*window.rtbHTMLSource);
    window.rtbHTMLSource->setSelStart(0);
    window.setWindowTitle(platform::kAppTitle + QStringLiteral(" : ") + path);
    if (!designLoaded || !sourceLoaded) {
        platform::msgBox(QStringLiteral("Unable to open ") + path + QStringLiteral(" in the editor."),
                         &window);
        return false;
    }
    return true;
}

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

    // Start-up timing: print the wall-clock moment the window is first shown (with a
    // page: the moment the page is open) and leave, so that a script can measure
    // from the process start.
    const bool exitWhenShown = qEnvironmentVariableIntValue("QUILLMARK_EXIT_WHEN_SHOWN") == 1;
    if (exitWhenShown && page.isEmpty()) {
        QObject::connect(&window, &editor::frmMain::firstShown, &app, [] {
            printMoment("QUILLMARK_SHOWN");
            QTimer::singleShot(0, [] { std::_Exit(0); });
        });
    }

    window.Form_Load();
    if (!page.isEmpty()) {
        const bool opened = openPage(window, page);
        if (exitWhenShown) {
            printMoment(opened ? "QUILLMARK_OPENED" : "QUILLMARK_NOT_OPENED", window.CurrentFile);
            std::_Exit(0);
        }
    }
    return app.exec();
}
