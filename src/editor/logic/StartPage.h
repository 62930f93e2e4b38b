#pragma once
// The document the editor shows before any page is opened.

#include <QString>

namespace editor {

// Nine lines joined by CR LF, no line break after the last.
QString startPageHtml();

} // namespace editor
