#pragma once
// The wizard data file and ftpinfo.ini: a window's text boxes and list views saved to
// and loaded from an INI file.
//
// Keys: section "TEXT", one key per text box (its name). One section per list view
// (its name) with "SIZE" = rows + "x" + columns, the main text of row i under
// <list>_<header of column 1>_<i> and sub-item j under <list>_<header of column j>_<i>_<j>.
// Line breaks in values are stored as "_##_NEWLINE_##_"; a lone CR or LF counts as a
// line break too and loads back as CR LF.
//
// SaveFormToIni and LoadFormFromIni read the file once and write it at most once;
// the result is the same as writing or reading each key with WriteIni / ReadIni.

#include "platform/IniFile.h"
#include "store/Form.h"

#include <QString>

namespace store {

// One key written to / read from the file at `fileName` (a full path). WriteIni
// returns nonzero on success.
int WriteIni(const QString &section, const QString &key, const QString &value, const QString &fileName);
QString ReadIni(const QString &section, const QString &key, const QString &fileName);

// A bare data file name made relative to the application folder: a name beginning
// with ":" loses every ":" and lies in the application folder itself; any other name
// lies in "sites". Uses "/" as the separator.
QString ResolveDataFileName(const QString &name);
// appFolder + "/" + ResolveDataFileName(name).
QString DataFilePath(const QString &name, const QString &appFolder);

// Saves every text box and list view of `form` to the data file `fileName` (a bare
// name, resolved as above). Keys of an earlier save that are not written again stay
// in the file. Returns false when the file could not be written (nothing changes).
// Pass Access::OwnerOnly for files holding passwords.
bool SaveFormToIni(const QString &fileName, Form &form, const QString &appFolder,
                   platform::IniFile::Access access = platform::IniFile::Access::Keep);

// Restores every text box and list view of `form` from the data file. A list view
// whose "SIZE" key is missing or empty ends the loading there (its rows already
// removed; the controls after it keep what they had); returns false then.
bool LoadFormFromIni(const QString &fileName, Form &form, const QString &appFolder);

// The same walk over a file already in memory, for the owner of a file that holds
// more than one form's keys. SaveFormTo returns the number of keys written.
int SaveFormTo(platform::IniFile &ini, Form &form);
bool LoadFormFrom(const platform::IniFile &ini, Form &form);

// The newline escape.
QString EscapeNewlines(const QString &text);
QString UnescapeNewlines(const QString &text);

// "SIZE" as rows and columns: split at each lower-case "x"; rows = the number at the
// start of the first part (0 when none), rounded; columns likewise from the second
// part when there are exactly two parts, otherwise 1. Empty text -> false.
bool ParseListSize(const QString &size, qint64 &rows, qint64 &columns);

} // namespace store
