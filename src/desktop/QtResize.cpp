// The QWidget side of the resize anchoring: twips <-> pixels at 96 dpi.
#include "desktop/QtResize.h"

#include <QLayout>
#include <QMainWindow>
#include <QPointer>
#include <QVariant>
#include <QWidget>

namespace desktop {
namespace modResize {
namespace {

constexpr double kTwipsPerPixel = 15.0;
const char *const kIdProperty = "quillmark.resizeId";

int toPixels(double twips)
{
    return int(qRound(twips / kTwipsPerPixel));
}

// A number per widget that no other widget of this run gets, even at a reused address.
int widgetId(QWidget *w)
{
    static int next = 1;
    QVariant id = w->property(kIdProperty);
    if (!id.isValid()) {
        id = next++;
        w->setProperty(kIdProperty, id);
    }
    return id.toInt();
}

bool isWindowArea(QWidget *w)
{
    QWidget *window = w->window();
    if (w == window)
        return true;
    auto *main = qobject_cast<QMainWindow *>(window);
    return main && main->centralWidget() == w;
}

// Qt's internal parts (a tab widget's page stack) and widgets that a layout places
// are not containers of their own: the container is the first ancestor the program
// positions itself, such as the tab widget.
bool isPositionedByQt(QWidget *w)
{
    if (w->objectName().startsWith(QLatin1String("qt_")))
        return true;
    QWidget *parent = w->parentWidget();
    return parent && parent->layout() && parent->layout()->indexOf(w) >= 0;
}

class WidgetControl final : public ResizableControl {
public:
    explicit WidgetControl(QWidget *w) : m_w(w) {}

    double Left() const override { return m_w ? m_w->x() * kTwipsPerPixel : 0; }
    double Top() const override { return m_w ? m_w->y() * kTwipsPerPixel : 0; }
    double Width() const override { return m_w ? m_w->width() * kTwipsPerPixel : 0; }
    double Height() const override { return m_w ? m_w->height() * kTwipsPerPixel : 0; }

    bool setLeft(double twips) override
    {
        if (!m_w)
            return false;
        m_w->move(toPixels(twips), m_w->y());
        return true;
    }
    bool setTop(double twips) override
    {
        if (!m_w)
            return false;
        m_w->move(m_w->x(), toPixels(twips));
        return true;
    }
    // A negative size is refused, as the window system would.
    bool setWidth(double twips) override
    {
        if (!m_w || twips < 0)
            return false;
        m_w->resize(toPixels(twips), m_w->height());
        return true;
    }
    bool setHeight(double twips) override
    {
        if (!m_w || twips < 0)
            return false;
        m_w->resize(m_w->width(), toPixels(twips));
        return true;
    }

    std::optional<int> TabIndex() const override
    {
        if (!m_w)
            return std::nullopt;
        return widgetId(m_w);
    }

    std::shared_ptr<ResizableControl> Container() const override
    {
        if (!m_w)
            return nullptr;
        for (QWidget *p = m_w->parentWidget(); p; p = p->parentWidget()) {
            if (isWindowArea(p))
                return nullptr;
            if (!isPositionedByQt(p))
                return std::make_shared<WidgetControl>(p);
        }
        return nullptr;
    }

    QString Name() const override { return m_w ? m_w->objectName() : QString(); }

private:
    QPointer<QWidget> m_w;
};

class WidgetWindow final : public ResizableWindow {
public:
    explicit WidgetWindow(QWidget *w) : m_w(w) {}

    double Width() const override { return m_w->frameGeometry().width() * kTwipsPerPixel; }
    double Height() const override { return m_w->frameGeometry().height() * kTwipsPerPixel; }
    bool isMaximized() const override { return m_w->isMaximized(); }
    QString Caption() const override { return m_w->windowTitle(); }
    quint64 identity() const override { return quint64(widgetId(m_w)); }

private:
    QWidget *m_w;
};

} // namespace

std::shared_ptr<ResizableControl> widgetControl(QWidget *control)
{
    return control ? std::make_shared<WidgetControl>(control) : nullptr;
}

CtlDefinition NewCtlDefinition(QWidget *control, double LeftDiff, double WidthDiff, double TopDiff,
                               double HeightDiff)
{
    return NewCtlDefinition(widgetControl(control), LeftDiff, WidthDiff, TopDiff, HeightDiff);
}

void ResizeControls(QWidget *window, const std::vector<CtlDefinition> &definitions)
{
    if (!window)
        return;
    WidgetWindow w(window);
    ResizeControls(w, definitions);
}

void ResizeControls(QWidget *window, qint16 minWidth, qint16 minHeight,
                    const std::vector<CtlDefinition> &definitions)
{
    if (!window)
        return;
    WidgetWindow w(window);
    ResizeControls(w, minWidth, minHeight, definitions);
}

} // namespace modResize
} // namespace desktop
