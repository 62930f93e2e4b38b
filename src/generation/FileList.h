#pragma once
// A page's dependency list, "<page>.files": every file the page needs, the page
// itself first, so that it can be published whole. The one reader and writer of the
// format.
//
// The format: lines end in CR LF (a lone LF is read too); a line that begins with
// "::" is a comment; a blank line is passed over; every other line is a file's path
// exactly as written, blanks included (a name may end in one), in the local 8-bit
// encoding.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace generation {

namespace FileList {

// page + ".files"
QString PathFor(const QString &pagePath);

// The listed paths, in list order.
QStringList Parse(const QByteArray &bytes);
// False when there is no list or it cannot be read (`files` is then empty).
bool Read(const QString &listPath, QStringList &files);

// The list of `pagePath` naming `files` (the page among them), with the header and
// the count that tell a person reading it what it is.
QByteArray Compose(const QString &pagePath, const QStringList &files,
                   const QDateTime &when = QDateTime::currentDateTime());

} // namespace FileList

} // namespace generation
