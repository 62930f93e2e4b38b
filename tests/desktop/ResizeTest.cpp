#include "desktop/modResize.h"

#include <gtest/gtest.h>

using namespace desktop;

namespace {

using Geometry = std::vector<double>; // left, top, width, height

struct FakeControl : ResizableControl {
    double l = 100, t = 200, w = 1000, h = 2000;
    std::optional<int> tab;
    std::shared_ptr<FakeControl> container;
    bool refuseWidth = false;

    explicit FakeControl(std::optional<int> tabIndex) : tab(tabIndex) {}
    Geometry geometry() const { return {l, t, w, h}; }
    double Left() const override { return l; }
    double Top() const override { return t; }
    double Width() const override { return w; }
    double Height() const override { return h; }
    bool setLeft(double v) override { return l = v, true; }
    bool setTop(double v) override { return t = v, true; }
    bool setWidth(double v) override { return refuseWidth ? false : (w = v, true); }
    bool setHeight(double v) override { return h = v, true; }
    std::optional<int> TabIndex() const override { return tab; }
    std::shared_ptr<ResizableControl> Container() const override { return container; }
    QString Name() const override { return QString(); }
};

// Starts at the design size 10905 x 7635.
struct FakeWindow : ResizableWindow {
    double w = 10905, h = 7635;
    bool maximized = false;
    QString caption = QStringLiteral("Quillmark");

    void set(double width, double height, bool max) { w = width, h = height, maximized = max; }
    double Width() const override { return w; }
    double Height() const override { return h; }
    bool isMaximized() const override { return maximized; }
    QString Caption() const override { return caption; }
    quint64 identity() const override { return quint64(reinterpret_cast<quintptr>(this)); }
};

auto control(std::optional<int> tab)
{
    return std::make_shared<FakeControl>(tab);
}

class ResizeTest : public ::testing::Test {
protected:
    void SetUp() override { modResize::ResetWindowTable(); }
    // `c` follows the window's width with its width and its height with its height.
    Geometry stretch(double width, double height, bool max)
    {
        win.set(width, height, max);
        ResizeControls(win, {NewCtlDefinition(c, 0, 1, 0, 1)});
        return c->geometry();
    }
    FakeWindow win;
    std::shared_ptr<FakeControl> c = control(1);
};

} // namespace

TEST_F(ResizeTest, MaximiseCaptionChangeRestoreShrinkAndGrowBack)
{
    EXPECT_EQ(stretch(12000, 9000, false), Geometry({100, 200, 1000, 2000}))
        << "no row before a maximised pass";
    EXPECT_EQ(stretch(15360, 11520, true), Geometry({100, 200, 1000 + 4455, 2000 + 3885}));
    // A new caption is the same window: no second layout from the design size.
    win.caption = QStringLiteral("Quillmark - page.htm");
    EXPECT_EQ(stretch(15360, 11520, true), Geometry({100, 200, 1000 + 4455, 2000 + 3885}));
    EXPECT_EQ(stretch(12000, 9000, false), Geometry({100, 200, 2095, 3365}));
    // Below 70 % of the design size nothing moves and the stored size stays.
    EXPECT_EQ(stretch(7000, 9000, false), Geometry({100, 200, 2095, 3365}));
    EXPECT_EQ(stretch(12000, 5000, false), Geometry({100, 200, 2095, 3365}));
    EXPECT_EQ(stretch(14000, 10000, false), Geometry({100, 200, 2095 + 2000, 3365 + 1000}));
    EXPECT_EQ(stretch(14000, 6000, false), Geometry({100, 200, 4095, 4365 - 4000})); // 79 % high
}

TEST_F(ResizeTest, GivenMinimumSizeIsThresholdAndStartingSize)
{
    // The later passes are too narrow or too low.
    for (const auto &[width, height] : {std::pair(12000, 8000), {8999, 8000}, {12000, 5999}}) {
        win.set(width, height, true);
        ResizeControls(win, qint16(9000), qint16(6000), {NewCtlDefinition(c, 1, 0, 0.5, 0)});
        EXPECT_EQ(c->geometry(), Geometry({100 + 3000, 200 + 1000, 1000, 2000}));
    }
}

TEST_F(ResizeTest, ContainerFollowsItsFirstListedControlOnce)
{
    auto frame = control(10), b = control(2);
    c->container = b->container = frame;
    win.set(11905, 8635, true); // +1000 each way
    ResizeControls(win, {NewCtlDefinition(c, 0, 1, 0, 0), NewCtlDefinition(b, 1, 0, 0, 1)});
    EXPECT_EQ(frame->geometry(), Geometry({100, 200, 2000, 2000}));

    // A listed container is not moved a second time on behalf of its children.
    win.set(12905, 9635, false);
    ResizeControls(win, {NewCtlDefinition(c, 0, 1, 0, 0), NewCtlDefinition(frame, 0, 0, 0, 1)});
    EXPECT_EQ(frame->geometry(), Geometry({100, 200, 2000, 3000}));
}

TEST_F(ResizeTest, RefusedPropertyAloneIsSkippedAndBadListCancelsPass)
{
    c->refuseWidth = true;
    win.set(11905, 8635, true);
    ResizeControls(win, {NewCtlDefinition(c, 1, 1, 1, 1)});
    EXPECT_EQ(c->geometry(), Geometry({1100, 1200, 1000, 3000}));

    // A repeated tab index or a control without one: nothing moves, stored size kept.
    auto d = control(2);
    win.set(12905, 9635, false);
    ResizeControls(win, {NewCtlDefinition(d, 1, 0, 0, 0), NewCtlDefinition(d, 1, 0, 0, 0)});
    ResizeControls(win,
                   {NewCtlDefinition(d, 1, 0, 0, 0), NewCtlDefinition(control(std::nullopt), 1, 0, 0, 0)});
    EXPECT_EQ(d->l, 100);
    ResizeControls(win, {NewCtlDefinition(d, 1, 0, 0, 0)});
    EXPECT_EQ(d->l, 1100);
}
