#pragma once
// The template engine and page generation: a template from the templates folder
// and a page data record give a sales page on disk, with the product image and
// the template's own files copied beside it and a ".files" dependency list that
// names them all.

#include "generation/PageData.h"

#include <QString>
#include <QStringList>

namespace generation {

// --- Text-file operations (8-bit text in the locale's encoding) ---

// The whole file; "" when it is missing, empty or unreadable.
QString ReadTextFile(const QString &path);
// Creates or overwrites the file through a temporary file and a rename. Callers may
// ignore the result: a failure leaves any earlier file untouched and shows nothing.
bool WriteTextFile(const QString &text, const QString &path);
// Name and extension of the file at `path` when a file exists there, else "".
QString GetFileName(const QString &path);
// Folder of the file at `path` when a file exists there, else "".
QString GetParentFolder(const QString &path);

// --- Template engine ---

// Replaces every occurrence of `search` (exact, non-overlapping, left to right;
// inserted text is not searched again). An empty `search` changes nothing.
QString ReplaceAll(const QString &text, const QString &search, const QString &replacement);

// Body of the first block `blockName` in `text` (markers matched without regard to
// case), or "" when a marker is missing or the closing marker stands before the
// end of the opening one.
QString GetBlock(const QString &blockName, const QString &text);

// The shaping rules of the placeholders.
QString LineBreakRule(const QString &text); // CR LF -> "<BR>"
QString AddressRule(const QString &text);   // "MAILTO:" prefix for a bare mail address
// Purchase text -> order link (the address attribute-escaped) or text as typed; the
// link's text is `words`.
QString OrderLinkRule(const QString &text, const QString &words = QStringLiteral("Click here to order now"));
QString ImageNameRule(const QString &path); // file name of an existing image, else ""
// Removes blanks (spaces) from both ends, as the optional-block conditions do.
QString TrimBlanks(const QString &text);

// The finished page for the template file at `templatePath`; "" when the template
// cannot be read. A link answer that would run script counts as not given.
QString FillTemplate(const QString &templatePath, const PageData &data);
// The same over a template text already in memory.
QString FillTemplateText(const QString &templateText, const PageData &data);

// --- Page generation ---

// Fills appFolder/templates/<templateName>.htm, writes the page to destinationPath,
// copies the product image and the template's own files (<name>_*) beside it and
// writes destinationPath + ".files". Shows "Please select a template" when no
// template is named, and a message naming the list or the page when either cannot
// be written (then nothing new is left behind). Refuses with a message, writing
// nothing, when a link answer would run script or the product image is not a picture
// or is one of the program's own files. Copies are never more open than their
// sources. Returns true when both were written.
bool GenerateTemplateBasedPage(const QString &appFolder, const QString &templateName,
                               const QString &destinationPath, const QString &productImage,
                               const PageData &data);
// The same with the template looked up in each of `templateFolders` in turn (the
// first that holds it wins, and its own files come from that folder); a relative
// product image path is taken from `dataFolder`.
bool GenerateTemplateBasedPage(const QStringList &templateFolders, const QString &dataFolder,
                               const QString &templateName, const QString &destinationPath,
                               const QString &productImage, const PageData &data);

// Whether `name` matches `pattern` the way the template's own files are chosen:
// "?" one character, "*" any run, "#" one digit, "[...]" a character class
// ("[!...]" negated, "a-z" ranges). Case-sensitive; callers upper-case both.
bool LikeMatch(const QString &name, const QString &pattern);

} // namespace generation
