#include "desktop/modResize.h"

#include <gtest/gtest.h>

using namespace desktop;

namespace {

struct FakeControl : ResizableControl {
    double l = 100, t = 200, w = 1000, h = 2000;
    std::optional<int> tab;
    std::shared_ptr<FakeControl> container;
    bool refuseWidth = false;

    explicit FakeControl(std::optional<int> tabIndex) : tab(tabIndex) {}
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
    void stretch() { ResizeControls(win, {NewCtlDefinition(c, 0, 1, 0, 1)}); }
    FakeWindow win;
    std::shared_ptr<FakeControl> c = control(1);
};

} // namespace

TEST_F(ResizeTest, MaximiseRestoreShrinkAndGrowBack)
{
    win.set(12000, 9000, false); // no row before a maximised pass
    stretch();
    EXPECT_DOUBLE_EQ(c->w, 1000);

    win.set(15360, 11520, true);
    stretch();
    EXPECT_DOUBLE_EQ(c->w, 1000 + 4455);
    EXPECT_DOUBLE_EQ(c->h, 2000 + 3885);
    EXPECT_DOUBLE_EQ(c->l, 100);

    win.set(12000, 9000, false);
    stretch();
    EXPECT_DOUBLE_EQ(c->w, 1000 + 4455 - 3360);
    EXPECT_DOUBLE_EQ(c->h, 2000 + 3885 - 2520);

    // Below 70 % of the design width nothing moves and the stored size stays.
    win.set(7000, 9000, false);
    stretch();
    EXPECT_DOUBLE_EQ(c->w, 1000 + 4455 - 3360);
    win.set(14000, 10000, false);
    stretch();
    EXPECT_DOUBLE_EQ(c->w, 1000 + 4455 - 3360 + 2000);
    EXPECT_DOUBLE_EQ(c->h, 2000 + 3885 - 2520 + 1000);
}

TEST_F(ResizeTest, GivenMinimumSizeIsThresholdAndStartingSize)
{
    win.set(12000, 8000, true);
    ResizeControls(win, qint16(9000), qint16(6000), {NewCtlDefinition(c, 1, 0, 0.5, 0)});
    EXPECT_DOUBLE_EQ(c->l, 100 + 3000);
    EXPECT_DOUBLE_EQ(c->t, 200 + 1000);
    EXPECT_DOUBLE_EQ(c->w, 1000);

    win.set(8999, 8000, false);
    ResizeControls(win, qint16(9000), qint16(6000), {NewCtlDefinition(c, 1, 0, 0.5, 0)});
    EXPECT_DOUBLE_EQ(c->l, 100 + 3000);
}

TEST_F(ResizeTest, ContainerFollowsItsFirstListedControlOnce)
{
    auto frame = control(10);
    auto b = control(2);
    c->container = b->container = frame;
    win.set(11905, 8635, true); // +1000 each way
    ResizeControls(win, {NewCtlDefinition(c, 0, 1, 0, 0), NewCtlDefinition(b, 1, 0, 0, 1)});
    EXPECT_DOUBLE_EQ(frame->w, 2000);
    EXPECT_DOUBLE_EQ(frame->l, 100);
    EXPECT_DOUBLE_EQ(frame->h, 2000);

    // A listed container is not moved a second time on behalf of its children.
    win.set(12905, 9635, false);
    ResizeControls(win, {NewCtlDefinition(c, 0, 1, 0, 0), NewCtlDefinition(frame, 0, 0, 0, 1)});
    EXPECT_DOUBLE_EQ(frame->w, 2000);
    EXPECT_DOUBLE_EQ(frame->h, 3000);
}

TEST_F(ResizeTest, CaptionChangeDoesNotLayOutAgainFromDesignSize)
{
    win.set(15360, 11520, true);
    stretch();
    win.caption = QStringLiteral("Quillmark - page.htm");
    stretch();
    EXPECT_DOUBLE_EQ(c->w, 1000 + 4455);
    win.set(14360, 11520, false);
    stretch();
    EXPECT_DOUBLE_EQ(c->w, 1000 + 4455 - 1000);
}

TEST_F(ResizeTest, RefusedPropertyAloneIsSkippedAndBadListCancelsPass)
{
    c->refuseWidth = true;
    win.set(11905, 8635, true);
    ResizeControls(win, {NewCtlDefinition(c, 1, 1, 1, 1)});
    EXPECT_DOUBLE_EQ(c->w, 1000);
    EXPECT_DOUBLE_EQ(c->l, 1100);
    EXPECT_DOUBLE_EQ(c->h, 3000);

    // A repeated tab index or a control without one: nothing moves, stored size kept.
    auto d = control(2);
    win.set(12905, 9635, false);
    ResizeControls(win, {NewCtlDefinition(d, 1, 0, 0, 0), NewCtlDefinition(d, 1, 0, 0, 0)});
    ResizeControls(win,
                   {NewCtlDefinition(d, 1, 0, 0, 0), NewCtlDefinition(control(std::nullopt), 1, 0, 0, 0)});
    EXPECT_DOUBLE_EQ(d->l, 100);
    ResizeControls(win, {NewCtlDefinition(d, 1, 0, 0, 0)});
    EXPECT_DOUBLE_EQ(d->l, 1100);
}
