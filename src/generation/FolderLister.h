#pragma once
// Fills a drop-down list with the names of the files of one folder of the
// application folder that end in a given extension (templates, saved products).

#include <QString>
#include <QStringList>

namespace generation {

// The few operations the lister needs from a combo box, so it runs without widgets.
class ComboTarget {
public:
    virtual ~ComboTarget() = default;
    virtual void clear() = 0;
    virtual void addItem(const QString &text) = 0;
    virtual int count() const = 0;
    virtual void setCurrentIndex(int index) = 0;
};

// Names of the files (not subfolders, hidden ones included) of `folder`, in
// case-insensitive name order. Empty when the folder does not exist.
QStringList ListFolderFiles(const QString &folder);

// Clears `combo`, adds the names of the files of appFolder/folderName whose names
// end in `extension` (any case) without that ending, and selects the first entry.
// A missing folder shows "Unable to load <folderName>. Folder does not exist".
void FillComboFromFolder(const QString &appFolder, const QString &folderName, const QString &extension,
                         ComboTarget &combo);

// The same over several folders, listed one after the other (the user's templates
// before the shipped ones): a name already listed from an earlier folder, in any
// letter case, is not listed again. The message names `folderName` when none of the
// folders exists.
void FillComboFromFolders(const QStringList &folders, const QString &folderName, const QString &extension,
                          ComboTarget &combo);

} // namespace generation
