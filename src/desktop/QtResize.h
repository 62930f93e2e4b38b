#pragma once
// The resize anchoring on Qt widgets, 15 twips per pixel (library desktop_ui).

#include "desktop/modResize.h"

class QWidget;

namespace desktop {
namespace modResize {

// The container of a widget is its parent widget, unless that is the window or the
// window's central widget.
std::shared_ptr<ResizableControl> widgetControl(QWidget *control);
CtlDefinition NewCtlDefinition(QWidget *control, double LeftDiff, double WidthDiff, double TopDiff,
                               double HeightDiff);
void ResizeControls(QWidget *window, const std::vector<CtlDefinition> &definitions);
void ResizeControls(QWidget *window, qint16 minWidth, qint16 minHeight,
                    const std::vector<CtlDefinition> &definitions);

} // namespace modResize

using modResize::NewCtlDefinition;
using modResize::ResizeControls;

} // namespace desktop
