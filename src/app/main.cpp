// The program entry: loads the main window and nothing else.
#include "platform/widgets/QtDialogs.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmark"));
    platform::QtDialogs dialogs;
    platform::setDialogs(&dialogs);

    QLabel placeholder(QStringLiteral("Quillmark"));
    placeholder.resize(640, 400);
    placeholder.show();
    return app.exec();
}
