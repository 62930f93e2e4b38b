#include "editor/logic/RecentPages.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace editor {

QStringList WithRecentPage(QStringList pages, const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    if (clean.isEmpty() || clean == QLatin1String("."))
        return pages;
    pages.removeIf([&](const QString &p) { return QDir::cleanPath(p) == clean; });
    pages.prepend(clean);
    while (pages.size() > kRecentPagesMax)
        pages.removeLast();
    return pages;
}

QStringList LoadRecentPages(const QString &file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    QStringList pages;
    for (const QByteArray &line : in.readAll().split('\n')) {
        const QString path = QString::fromUtf8(line).trimmed();
        if (!path.isEmpty() && pages.size() < kRecentPagesMax)
            pages << path;
    }
    return pages;
}

bool SaveRecentPages(const QString &file, const QStringList &pages)
{
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    for (const QString &path : pages)
        out.write(path.toUtf8() + '\n');
    return out.commit();
}

} // namespace editor
