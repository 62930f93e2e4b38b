#pragma once
// What an answer may not become in a published page: a link that runs script, or a
// "picture" that is really another file (the upload password, a product file).

#include "generation/PageData.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace generation {

// "javascript", "data" or "vbscript" when a browser would read `address` with that
// scheme (letter case ignored, leading blanks and control characters dropped, tabs and
// line ends inside ignored), else "".
QString ScriptAddressScheme(const QString &address);

// Field names of the record's link answers (purchase, trial, support, affiliates) that
// hold such an address, in the wizard's order.
QStringList UnsafeLinkAnswers(const PageData &data);
// The message that names the answer `field` of `data` and what is wrong with it.
QString UnsafeLinkMessage(const QString &field, const PageData &data);
// The record with those answers blanked, so that a page counts them as not given.
PageData WithoutUnsafeLinks(const PageData &data);

// Tags in `text` that name no HTML element ("<word>" -> "word"), in order, each once;
// custom elements (a name with "-") are elements. A browser shows nothing of such a tag.
QStringList UnknownElementsIn(const QString &text);
// Whether `name` (lower case) is an element of HTML, SVG's or MathML's root included.
bool IsHtmlElement(const QString &name);
// One sentence per answer placed in page text that holds such a tag, naming the answer.
QStringList UnknownElementWarnings(const PageData &data);

// Whether the first bytes of a file are those of a PNG, JPEG, GIF, WebP, BMP, ICO or
// AVIF picture, or of an SVG document (its root element is <svg>).
bool IsPictureData(const QByteArray &head);
// Why the file at `path` may not be a product picture: it is one of the program's own
// files (any .ini file, anything under `dataFolder`/manifests), not a picture, or its
// path holds a line break; "" when it may, or when no file is there.
QString ProductPictureProblem(const QString &path, const QString &dataFolder);

} // namespace generation
