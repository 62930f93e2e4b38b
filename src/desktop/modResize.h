#pragma once
// Keeps a window's controls in place when the window changes size: each listed
// control's left, width, top and height follow the given share of the change
// since the window's last layout. A window is first laid out in a pass in which it
// is maximised, from its design size (or the given minimum size).

#include "desktop/CtlDefinition.h"

#include <vector>

namespace desktop {
namespace modResize {

// The main window's outer size as designed; the default minimum size.
constexpr qint16 kDefaultMinWidth = 10905;
constexpr qint16 kDefaultMinHeight = 7635;

// Note the parameter order: left, width, top, height.
CtlDefinition NewCtlDefinition(std::shared_ptr<ResizableControl> control, double LeftDiff, double WidthDiff,
                               double TopDiff, double HeightDiff);

// Without a minimum size: passes below 70 % of the default size are ignored.
void ResizeControls(ResizableWindow &window, const std::vector<CtlDefinition> &definitions);
// With a minimum size: passes below it are ignored; the first layout starts from it.
void ResizeControls(ResizableWindow &window, qint16 minWidth, qint16 minHeight,
                    const std::vector<CtlDefinition> &definitions);

// Forgets every window (tests).
void ResetWindowTable();

} // namespace modResize

using modResize::NewCtlDefinition;
using modResize::ResizeControls;

} // namespace desktop
