#include "generation/FolderLister.h"

#include "platform/Dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace generation {

QStringList ListFolderFiles(const QString &folder)
{
    QDir dir(folder);
    if (folder.isEmpty() || !dir.exists())
        return {};
    // Hidden files count too: a file named ".ini" is an entry like any other.
    QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    // Case-insensitive name order on upper-cased names (as NTFS lists a folder), with
    // a case-sensitive tie-break so the order is stable.
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.toUpper().compare(b.toUpper());
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

void FillComboFromFolder(const QString &appFolder, const QString &folderName, const QString &extension,
                         ComboTarget &combo)
{
    combo.clear();
    const QString folder = appFolder.endsWith(QLatin1Char('/')) ? appFolder + folderName
                                                                : appFolder + QLatin1Char('/') + folderName;
    if (!QFileInfo(folder).isDir()) {
        platform::msgBox(QStringLiteral("Unable to load ") + folderName +
                         QStringLiteral(". Folder does not exist"));
    } else {
        for (const QString &name : ListFolderFiles(folder)) {
            if (name.right(extension.size()).compare(extension, Qt::CaseInsensitive) == 0)
                combo.addItem(name.left(name.size() - extension.size()));
        }
    }
    if (combo.count() > 0)
        combo.setCurrentIndex(0);
}

void FillComboFromFolders(const QStringList &folders, const QString &folderName, const QString &extension,
                          ComboTarget &combo)
{
    combo.clear();
    bool anyFolder = false;
    QStringList listed;
    for (const QString &folder : folders) {
        if (!QFileInfo(folder).isDir())
            continue;
        anyFolder = true;
        for (const QString &name : ListFolderFiles(folder)) {
            if (name.right(extension.size()).compare(extension, Qt::CaseInsensitive) != 0)
                continue;
            const QString entry = name.left(name.size() - extension.size());
            if (listed.contains(entry, Qt::CaseInsensitive))
                continue;
            listed << entry;
            combo.addItem(entry);
        }
    }
    if (!anyFolder)
        platform::msgBox(QStringLiteral("Unable to load ") + folderName +
                         QStringLiteral(". Folder does not exist"));
    if (combo.count() > 0)
        combo.setCurrentIndex(0);
}

} // namespace generation
