// The peer of the start-up and memory benchmark: the least a Qt WebEngine program
// does to show one local page. It prints the moment its window is shown
// ("QUILLMARK_SHOWN <seconds>"), the moment the page has loaded ("QUILLMARK_LOADED
// <seconds>") and then "QUILLMARK_READY"; it leaves once loaded when
// QUILLMARK_EXIT_WHEN_SHOWN=1, else it idles until killed. Quillmark prints the same
// moments, so the scripts compare like with like.
// Usage: minimal_webengine PAGE
#include <QApplication>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>
#include <cstdio>
#include <ctime>

static void printMoment(const char *label)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::printf("%s %lld.%09ld\n", label, static_cast<long long>(now.tv_sec), now.tv_nsec);
    std::fflush(stdout);
}

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PAGE\n", argv[0]);
        return 2;
    }
    QWebEngineView view;
    QObject::connect(&view, &QWebEngineView::loadFinished, &app, [] {
        printMoment("QUILLMARK_LOADED");
        std::printf("QUILLMARK_READY\n");
        std::fflush(stdout);
        if (qEnvironmentVariableIntValue("QUILLMARK_EXIT_WHEN_SHOWN") == 1)
            QTimer::singleShot(0, [] { std::_Exit(0); });
    });
    view.resize(1024, 768);
    view.show();
    printMoment("QUILLMARK_SHOWN");
    view.load(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1])));
    return app.exec();
}
