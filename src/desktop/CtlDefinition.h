#pragma once
// One control to move and size on a resize pass, with the share of the window's
// change that goes into each of its coordinates. Sizes are twips (1/1440 inch).

#include <QString>
#include <memory>
#include <optional>

namespace desktop {

// A control as the resize pass sees it. Each setter returns false when the control
// refuses the value (it lacks the property or the value is not allowed).
class ResizableControl {
public:
    virtual ~ResizableControl() = default;

    virtual double Left() const = 0;
    virtual double Top() const = 0;
    virtual double Width() const = 0;
    virtual double Height() const = 0;
    virtual bool setLeft(double twips) = 0;
    virtual bool setTop(double twips) = 0;
    virtual bool setWidth(double twips) = 0;
    virtual bool setHeight(double twips) = 0;

    // Identifies the control within its window; empty for controls without one.
    virtual std::optional<int> TabIndex() const = 0;
    // The control that contains this one; nullptr when the window itself does.
    virtual std::shared_ptr<ResizableControl> Container() const = 0;
    virtual QString Name() const = 0;
};

// A window as the resize pass sees it: outer size in twips.
class ResizableWindow {
public:
    virtual ~ResizableWindow() = default;

    virtual double Width() const = 0;
    virtual double Height() const = 0;
    virtual bool isMaximized() const = 0;
    virtual QString Caption() const = 0;
    // Stable for the window's lifetime and never reused by another window.
    virtual quint64 identity() const = 0;
};

struct CtlDefinition {
    std::shared_ptr<ResizableControl> ctlControl;
    double LeftDiff = 0;
    double TopDiff = 0;
    double WidthDiff = 0;
    double HeightDiff = 0;
};

} // namespace desktop
