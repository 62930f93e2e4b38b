#pragma once
// Where the program's files are read from and where the user's work is written.
//
// The program folder holds what ships with the program (templates/, the sample
// product in sites/): the executable's folder in a build tree or a portable copy,
// <prefix>/share/quillmark when installed. It is only ever read.
//
// The user data folder holds what the user makes (sites/, their own templates/,
// ftpinfo.ini, the publishing manifests): $QUILLMARK_DATA when set; otherwise the
// program folder when it can be written and is not installed (everything stays
// together, as a portable copy expects); otherwise $XDG_DATA_HOME/Quillmark. It is
// created on first use, and on that first run the sample product is copied into it.
//
// Previews go to a folder of their own under the user's cache folder, one per run.
// Logic takes folders as parameters; windows read them here. Tests set temporary ones.

#include <QString>
#include <QStringList>

namespace platform {

QString programFolder();
QString userDataFolder();
// A per-run folder under the user's cache folder, removed when the program ends. Made
// on first use, when the folders that runs which did not end normally left are removed.
QString previewFolder();
// Removes the preview folders in `parent` other than `own` whose run has ended: their
// lock's process is gone, or they have no lock and are a day old.
void RemoveLeftOverPreviews(const QString &parent, const QString &own);
// The user's templates/ first, then the shipped one (once when both are the same).
QStringList templateFolders();
// Full path of the template file `name` + ".htm" that wins (the user's before the
// shipped one; exact name first, then any letter case), or "" when there is none.
QString findTemplate(const QString &name);

// An empty folder returns to the rules above. A user data folder set here is used as
// it is (nothing is made or copied into it).
void setProgramFolder(const QString &folder, bool installed = false);
void setUserDataFolder(const QString &folder);
void setPreviewFolder(const QString &folder);

// Whether the program folder is an installed one (<prefix>/share/quillmark).
bool programInstalled();
// The program folder for an executable in `exeFolder`: the folder itself when it
// holds templates/ (a build tree or portable copy), else `exeFolder`/`toShare` when
// that holds templates/ (installed; `installed` is then set), else the folder itself.
QString findProgramFolder(const QString &exeFolder, const QString &toShare, bool *installed);

// Whether `path` lies in this run's preview folder (the folder is not made for the question).
bool inPreviewFolder(const QString &path);
// The preview page that the wizard's previews and the editor's unsaved document use.
QString previewPage();
// The folder where publishing keeps what it sent to each server.
QString manifestFolder();

// Former names of the one application folder. applicationFolder() is now the user
// data folder; setApplicationFolder() sets both the program and the user data folder
// (the old single folder). inAppFolder() joins a path to the user data folder.
QString applicationFolder();
void setApplicationFolder(const QString &folder);
QString inAppFolder(const QString &relative);

} // namespace platform
