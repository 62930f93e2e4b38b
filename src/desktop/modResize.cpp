#include "desktop/modResize.h"

#include <QHash>

namespace desktop {
namespace modResize {
namespace {

struct WindowRow {
    double LastWidth = 0;
    double LastHeight = 0;
    qint16 MinWidth = kDefaultMinWidth;
    qint16 MinHeight = kDefaultMinHeight;
    bool HasMinSize = false;
};

// Keyed by the window itself: a caption changes (the main window shows its file
// name), and a row found again under a new caption would be laid out a second time
// from the design size while its controls are already stretched.
QHash<quint64, WindowRow> &windowTable()
{
    static QHash<quint64, WindowRow> table;
    return table;
}

// 70 % of the default size, at single precision.
constexpr double kThresholdWidth = 7633.5;
constexpr double kThresholdHeight = 5344.5;

void resizePass(ResizableWindow &window, bool hasMinSize, qint16 minWidth, qint16 minHeight,
                const std::vector<CtlDefinition> &definitions)
{
    auto &table = windowTable();
    auto row = table.find(window.identity());
    if (row == table.end()) {
        if (!window.isMaximized())
            return;
        WindowRow fresh;
        if (hasMinSize) {
            fresh.MinWidth = minWidth;
            fresh.MinHeight = minHeight;
            fresh.HasMinSize = true;
        }
        fresh.LastWidth = fresh.MinWidth;
        fresh.LastHeight = fresh.MinHeight;
        row = table.insert(window.identity(), fresh);
    }

    const double width = window.Width();
    const double height = window.Height();
    if (row->HasMinSize) {
        if (height < row->MinHeight || width < row->MinWidth)
            return;
    } else if (height < kThresholdHeight || width < kThresholdWidth) {
        return; // the stored size stays, so the next accepted pass applies the whole change
    }

    const double dW = width - row->LastWidth;
    const double dH = height - row->LastHeight;

    // Each control once, keyed by its tab index; a definition without one, or a
    // repeated one, cancels the pass before anything moves.
    std::vector<CtlDefinition> work;
    QHash<int, bool> listed;
    for (const CtlDefinition &def : definitions) {
        const std::optional<int> key = def.ctlControl ? def.ctlControl->TabIndex() : std::nullopt;
        if (!key || listed.contains(*key))
            return;
        listed.insert(*key, true);
        work.push_back(def);
    }

    // The list grows while it is walked: containers of listed controls join it.
    for (std::size_t i = 0; i < work.size(); ++i) {
        const CtlDefinition def = work[i];
        ResizableControl &c = *def.ctlControl;
        // Each property on its own: a control that refuses one keeps the others.
        c.setLeft(c.Left() + dW * def.LeftDiff);
        c.setWidth(c.Width() + dW * def.WidthDiff);
        c.setTop(c.Top() + dH * def.TopDiff);
        c.setHeight(c.Height() + dH * def.HeightDiff);

        std::shared_ptr<ResizableControl> container = c.Container();
        if (!container)
            continue;
        const std::optional<int> key = container->TabIndex();
        if (!key || listed.contains(*key))
            continue;
        listed.insert(*key, true);
        work.push_back(CtlDefinition{container, def.LeftDiff, def.TopDiff, def.WidthDiff, def.HeightDiff});
    }

    row->LastHeight = height;
    row->LastWidth = width;
}

} // namespace

CtlDefinition NewCtlDefinition(std::shared_ptr<ResizableControl> control, double LeftDiff, double WidthDiff,
                               double TopDiff, double HeightDiff)
{
    CtlDefinition def;
    def.ctlControl = std::move(control);
    def.LeftDiff = LeftDiff;
    def.WidthDiff = WidthDiff;
    def.TopDiff = TopDiff;
    def.HeightDiff = HeightDiff;
    return def;
}

void ResizeControls(ResizableWindow &window, const std::vector<CtlDefinition> &definitions)
{
    resizePass(window, false, kDefaultMinWidth, kDefaultMinHeight, definitions);
}

void ResizeControls(ResizableWindow &window, qint16 minWidth, qint16 minHeight,
                    const std::vector<CtlDefinition> &definitions)
{
    resizePass(window, true, minWidth, minHeight, definitions);
}

void ResetWindowTable()
{
    windowTable().clear();
}

} // namespace modResize
} // namespace desktop
