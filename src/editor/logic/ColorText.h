#pragma once
// Colour values (red in the lowest byte) as the six-digit text HTML takes.

#include "platform/Dialogs.h"

#include <QString>

namespace editor {

// "RRGGBB", upper case, no number sign: 0x0000FF (pure red) gives "FF0000".
QString ColorToHtml(platform::ColorValue color);

} // namespace editor
