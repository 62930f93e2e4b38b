#include "editor/logic/ColorText.h"

namespace editor {

QString ColorToHtml(platform::ColorValue color)
{
    const auto hex = [](unsigned byte) {
        return QStringLiteral("%1").arg(byte & 0xFFu, 2, 16, QLatin1Char('0')).toUpper();
    };
    return hex(color) + hex(color >> 8) + hex(color >> 16);
}

} // namespace editor
