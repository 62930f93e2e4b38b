// The update window against a local update server, and the QWidget resize adapter.
#include "common/TestSupport.h"
#include "desktop/QtResize.h"
#include "desktop/basGetHDDSerial.h"
#include "desktop/frmCheck4Updates.h"
#include "platform/HttpFetch.h"

#include <QTest>
#include <QtWidgets>
#include <gtest/gtest.h>
#include <memory>

using namespace desktop;

namespace {

std::unique_ptr<testing_support::ServerProcess> g_server;

// The paths the update server has been asked for that start with `prefix`.
QStringList requested(const QString &prefix)
{
    const auto body =
        platform::fetchUrl(QUrl(QString("http://127.0.0.1:%1/log").arg(g_server->port())), 5000);
    return QString::fromLatin1(body.value_or("")).split('\n').filter(QRegularExpression("^" + prefix));
}

class UpdateWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_server = std::make_unique<testing_support::ServerProcess>(
            testing_support::systemPython(),
            QStringList{testing_support::sourceDir() + "/tests/common/update_server.py"});
        ASSERT_TRUE(g_server->start());
    }
    static void TearDownTestSuite() { g_server.reset(); }

    void SetUp() override
    {
        g_sMachineID = "[Not present]";
        frmCheck4Updates::setMainWindowShower([this] { ++shown; });
    }
    void TearDown() override
    {
        if (frmCheck4Updates::instance())
            frmCheck4Updates::instance()->unload();
        frmCheck4Updates::setMainWindowShower({});
        setUpdateServer(QString());
        testing_support::wait(50); // deferred deletes
    }

    // Loads the window against `mode` and waits for the check to end.
    QPointer<frmCheck4Updates> check(const char *mode, int timeoutMs = 3000)
    {
        setUpdateServer(QString("http://127.0.0.1:%1/%2/").arg(g_server->port()).arg(mode));
        QPointer<frmCheck4Updates> f = frmCheck4Updates::load();
        f->setFetchTimeoutMs(timeoutMs);
        EXPECT_TRUE(testing_support::waitFor([&] { return !f || f->CheckDone; }, 8000)) << mode;
        return f;
    }

    int shown = 0;
};

} // namespace

TEST_F(UpdateWindow, NewerVersionShowsUpdatePageAndStaysOpen)
{
    QPointer<frmCheck4Updates> f = check("newer");
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->UpdateFound);
    EXPECT_TRUE(f->CheckMessage.isEmpty());
    EXPECT_EQ(frmCheck4Updates::instance(), f.data());
    EXPECT_EQ(shown, 0);

    // The browser pane asks the server for the update page with the same keys.
    const QString prefix = "/newer/getupdate\\.php\\?v=1\\.0\\.0&wm=1&r=";
    ASSERT_TRUE(testing_support::waitFor([&] { return !requested(prefix).isEmpty(); }, 10000));
    EXPECT_EQ(QUrlQuery(QUrl(requested(prefix).first())).queryItemValue("user", QUrl::FullyDecoded),
              "[Not present]");

    // One question per start, however long the window stays open.
    testing_support::wait(300);
    EXPECT_EQ(requested("/newer/getversion").size(), 1);

    // Closing goes to the main window.
    QTest::mouseClick(f->cmdClose, Qt::LeftButton);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(frmCheck4Updates::instance(), nullptr);
}

TEST_F(UpdateWindow, NoNewerVersionClosesAndUnreadableAnswerStaysWithMessage)
{
    // The first five close; "missing" is a 404 whose body reads like a newer version.
    const char *modes[] = {"equal", "older", "emptyfield", "notanumber", "overflow",
                           "short", "empty", "garbage",    "missing",    "huge"};
    for (int i = 0; i < 10; ++i) {
        const char *mode = modes[i];
        const bool closes = i < 5;
        shown = 0;
        QPointer<frmCheck4Updates> f = check(mode);
        EXPECT_EQ(frmCheck4Updates::instance() == nullptr, closes) << mode;
        EXPECT_EQ(shown, closes ? 1 : 0) << mode;
        if (f) {
            EXPECT_FALSE(f->UpdateFound) << mode;
            EXPECT_EQ(f->CheckMessage, closes ? QString() : kCheckFailedMessage) << mode;
            if (!closes) {
                EXPECT_EQ(f->Label15->text(), kCheckFailedMessage) << mode;
            }
            f->unload();
        }
        testing_support::wait(20);
    }
    const QStringList log = requested("/short/getversion\\.php\\?v=1\\.0\\.0&wm=1&r=");
    ASSERT_FALSE(log.isEmpty());
    EXPECT_TRUE(log.first().endsWith("&user=%5BNot%20present%5D"));
}

TEST_F(UpdateWindow, SilentServerTimesOutAndClosingEndsAPendingCheck)
{
    QElapsedTimer clock;
    clock.start();
    QPointer<frmCheck4Updates> f = check("hang", 1500);
    ASSERT_TRUE(f && f->CheckDone);
    EXPECT_GE(clock.elapsed(), 1400);
    EXPECT_EQ(f->CheckMessage, kCheckFailedMessage);
    EXPECT_TRUE(f->WebBrowser1); // the welcome page, for a check that takes a while
    f->unload();
    EXPECT_EQ(shown, 1);

    // Closed while the request is out: the check ends with the window, once.
    f = frmCheck4Updates::load();
    testing_support::wait(300);
    f->close();
    EXPECT_TRUE(f->CheckDone);
    EXPECT_EQ(frmCheck4Updates::instance(), nullptr);
    f->unload();
    EXPECT_EQ(shown, 2);
    EXPECT_TRUE(testing_support::waitFor([&] { return f.isNull(); }, 1000));
}

// Twips round to the nearest pixel; Qt places a tab widget's page stack, not the
// controls on its pages; a width that would go below zero is refused.
TEST(ResizeAdapter, WidgetsMoveInPixelsAndTheirFrameFollows)
{
    modResize::ResetWindowTable();
    QWidget window;
    auto *frame = new QFrame(&window);
    frame->setGeometry(10, 10, 200, 100);
    auto *button = new QPushButton(frame);
    button->setGeometry(5, 5, 60, 20);
    auto *tabs = new QTabWidget(&window);
    tabs->setGeometry(300, 10, 200, 100);
    auto *page = new QWidget;
    auto *field = new QLineEdit(page);
    tabs->addTab(page, "Page");
    window.resize(727, 509); // 10905 x 7635 twips
    window.showMaximized();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(window.isMaximized());

    const int dW = qRound((window.frameGeometry().width() * 15 - 10905) / 15.0);
    const int dH = qRound((window.frameGeometry().height() * 15 - 7635) / 15.0);
    ASSERT_GT(dW, 0);
    ASSERT_GT(dH, 0);
    const int stackWidth = page->parentWidget()->width();
    // The tab widget moves right by three quarters of a pixel: one.
    ResizeControls(&window, {NewCtlDefinition(button, 0, 1, 1, 0), NewCtlDefinition(tabs, 0.75 / dW, 1, 0, 0),
                             NewCtlDefinition(field, 0, 1, 0, 0)});
    EXPECT_EQ(button->geometry(), QRect(5, 5 + dH, 60 + dW, 20));
    EXPECT_EQ(frame->geometry(), QRect(10, 10 + dH, 200 + dW, 100));
    EXPECT_EQ(tabs->geometry(), QRect(301, 10, 200 + dW, 100));
    EXPECT_EQ(page->parentWidget()->width(), stackWidth + dW);

    // Down to 70 % of the design width, the button would be narrower than nothing.
    window.showNormal();
    window.resize(509, 400);
    ASSERT_TRUE(testing_support::waitFor([&] { return window.frameGeometry().width() < 600; }, 2000));
    ResizeControls(&window, {NewCtlDefinition(button, 0, 1, 0, 0)});
    EXPECT_EQ(button->width(), 60 + dW);
}
