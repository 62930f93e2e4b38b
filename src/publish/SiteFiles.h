#pragma once
// Which local files make up a site: the files of a folder, or the lines of a page's
// ".files" list, and what was left out and why. Only the site goes out: never a file
// reached through a link out of the folder, never the program's own files (the saved
// password among them), hidden files only when asked for.

#include "publish/HashCache.h"

#include <QString>
#include <QStringList>
#include <QVector>

namespace publish {

struct SiteFile {
    QString local;     // the path to read
    QString remote;    // below the folder walked or the list's folder, "/" between folders
    qint64 size = -1;  // as the walk saw it; -1: not looked at
    FileStamp stamp{}; // as the walk saw it; size -1: not taken (a link, a list's file)
};

struct SiteSkip {
    QString path;
    QString reason;
    // The site would go out incomplete, or the file must never be sent: the publish
    // fails. Hidden files and links out of the folder are left out on purpose.
    bool fault = false;
};

struct SiteFiles {
    QVector<SiteFile> files;
    QVector<SiteSkip> skipped;
};

// The files and folders of the program that are never sent: the saved server
// settings, the manifests, the product files. An entry that is a folder covers what
// it holds; "FOLDER/*.ini" covers the .ini files directly in FOLDER.
QStringList ProgramOwnFiles();
bool IsOwnFile(const QString &path, const QStringList &ownFiles);

// The files of `folder`: its own first, then each subfolder's, names in case-blind
// order. Links are followed only to what lies inside the folder; loops are cut.
SiteFiles WalkSite(const QString &folder, bool includeHidden, const QStringList &ownFiles);

// The files a ".files" list names, each inside the list's folder and under its path
// below it. Comment lines ("::") and blank lines are passed over; relative lines are
// taken from the list's folder.
SiteFiles ReadFilesList(const QString &listPath, const QStringList &ownFiles);

// A page without a list: the page, then the files it refers to (absolute paths), each
// under its path below the page's folder so that the page's addresses still lead to
// it on the server. Files outside that folder and the program's own are left out.
SiteFiles PageAndReferences(const QString &pagePath, const QStringList &references,
                            const QStringList &ownFiles);

} // namespace publish
