// The peer of `quillmark generate` in the command-line benchmark: a bare
// QCoreApplication program that reads the files generation reads (product, template,
// the template's own files, the product image) and writes nothing.
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qint64 bytes = 0;
    for (const QString &path : QCoreApplication::arguments().mid(1)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        bytes += file.readAll().size();
    }
    std::printf("%lld bytes read\n", static_cast<long long>(bytes));
    return 0;
}
