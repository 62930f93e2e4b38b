#pragma once
// The document the editor shows before any page is opened.

#include <QString>

namespace editor {

// Nine lines joined by CR LF, no line break after the last.
QString startPageHtml();

// The document of an emptied editor (the Open command empties it first).
inline const QString kBlankDocumentHtml = QStringLiteral("<HTML><TITLE></TITLE><BODY></BODY></HTML>");

} // namespace editor
