#include "SaveFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace platform {

int RemoveStaleSaveFiles(const QString &target)
{
    const QFileInfo info(target);
    const QString name = info.fileName();
    if (name.isEmpty())
        return 0;
    const QDir folder = info.absoluteDir();
    // Qt's six random letters, nothing looser. A suffix in lower case only is left alone:
    // "offer.htm.backup" is the user's, and one stale name in 64 surviving costs nothing.
    const QRegularExpression stale(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(name) + QStringLiteral("\\.(?=[a-z]*[A-Z])[A-Za-z]{6}")));
    int removed = 0;
    // No name filter: "[" or "*" in the target's name would act as wildcards there.
    const QStringList candidates = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &candidate : candidates) {
        if (stale.match(candidate).hasMatch() && QFile::remove(folder.filePath(candidate)))
            ++removed;
    }
    return removed;
}

} // namespace platform
