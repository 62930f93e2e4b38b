// The update window against a local update server, and the QWidget resize adapter.
#include "common/TestSupport.h"
#include "desktop/basGetHDDSerial.h"
#include "desktop/frmCheck4Updates.h"
#include "desktop/modResize.h"
#include "platform/HttpFetch.h"

#include <QElapsedTimer>
#include <QFrame>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QUrlQuery>
#include <gtest/gtest.h>
#include <memory>

using namespace desktop;

namespace {

std::unique_ptr<testing_support::ServerProcess> g_server;

QString base(const char *mode)
{
    return QStringLiteral("http://127.0.0.1:%1/%2/").arg(g_server->port()).arg(QLatin1String(mode));
}

QStringList serverLog()
{
    const auto body =
        platform::fetchUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/log").arg(g_server->port())), 5000);
    return QString::fromLatin1(body.value_or(QByteArray())).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

class UpdateWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_server = std::make_unique<testing_support::ServerProcess>(
            testing_support::systemPython(),
            QStringList{testing_support::sourceDir() + QStringLiteral("/tests/desktop/update_server.py")});
        ASSERT_TRUE(g_server->start());
    }
    static void TearDownTestSuite() { g_server.reset(); }

    void SetUp() override
    {
        g_sMachineID = QStringLiteral("[Not present]");
        frmCheck4Updates::setMainWindowShower([this] { ++shown; });
    }
    void TearDown() override
    {
        if (frmCheck4Updates::instance())
            frmCheck4Updates::instance()->unload();
        frmCheck4Updates::setMainWindowShower({});
        setUpdateServer(QString());
        QTest::qWait(50); // deferred deletes
    }

    // Loads the window against `mode` and waits for the check to end.
    QPointer<frmCheck4Updates> check(const char *mode)
    {
        setUpdateServer(base(mode));
        QPointer<frmCheck4Updates> f = frmCheck4Updates::load();
        f->setFetchTimeoutMs(3000);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !f || f->CheckDone; }, 8000)) << mode;
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
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Checking Updates for Quillmark"));
    EXPECT_EQ(shown, 0);

    // The browser pane asks the server for the update page with the same keys.
    QString page;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            for (const QString &path : serverLog())
                if (path.startsWith(QStringLiteral("/newer/getupdate.php?v=1.0.0&wm=1&r=")))
                    page = path;
            return !page.isEmpty();
        },
        10000));
    EXPECT_EQ(QUrlQuery(QUrl(page)).queryItemValue(QStringLiteral("user"), QUrl::FullyDecoded),
              QStringLiteral("[Not present]"));

    // Closing goes to the main window.
    QTest::mouseClick(f->cmdClose, Qt::LeftButton);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(frmCheck4Updates::instance(), nullptr);
}

TEST_F(UpdateWindow, EqualOlderOrUnusableVersionUnloadsAndShowsMainWindow)
{
    for (const char *mode : {"equal", "older", "emptyfield", "notanumber", "overflow"}) {
        shown = 0;
        QPointer<frmCheck4Updates> f = check(mode);
        EXPECT_EQ(frmCheck4Updates::instance(), nullptr) << mode;
        EXPECT_EQ(shown, 1) << mode;
        if (f) {
            EXPECT_FALSE(f->UpdateFound) << mode;
            EXPECT_TRUE(f->CheckMessage.isEmpty()) << mode;
        }
        QTest::qWait(20);
    }
}

TEST_F(UpdateWindow, UnreadableAnswerOrFailedFetchKeepsWindowWithMessage)
{
    // "missing" is a 404 whose body looks like a newer version: an error status is no answer.
    for (const char *mode : {"short", "empty", "garbage", "missing", "huge"}) {
        QPointer<frmCheck4Updates> f = check(mode);
        ASSERT_TRUE(f) << mode;
        EXPECT_TRUE(f->CheckDone) << mode;
        EXPECT_FALSE(f->UpdateFound) << mode;
        EXPECT_EQ(f->CheckMessage, kCheckFailedMessage) << mode;
        EXPECT_EQ(shown, 0) << mode;
        f->unload();
        QTest::qWait(20);
    }
    const QStringList log = serverLog();
    ASSERT_FALSE(log.isEmpty());
    EXPECT_TRUE(log.first().startsWith(QStringLiteral("/short/getversion.php?v=1.0.0&wm=1&r=")));
    EXPECT_TRUE(log.first().endsWith(QStringLiteral("&user=%5BNot%20present%5D")));
}

TEST_F(UpdateWindow, SilentServerAndDeadServerEndWithinTheTimeOut)
{
    setUpdateServer(base("hang"));
    QPointer<frmCheck4Updates> f = frmCheck4Updates::load();
    f->setFetchTimeoutMs(1500);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return f->CheckDone; }, 6000));
    EXPECT_GE(clock.elapsed(), 1400);
    EXPECT_EQ(f->CheckMessage, kCheckFailedMessage);
    f->unload();
    EXPECT_EQ(shown, 1);

    // Nothing listens on the port: the default time-out never comes into play.
    setUpdateServer(QStringLiteral("http://127.0.0.1:9/"));
    clock.restart();
    f = frmCheck4Updates::load();
    ASSERT_TRUE(QTest::qWaitFor([&] { return f->CheckDone; }, 6000));
    EXPECT_LT(clock.elapsed(), 3000);
}

TEST_F(UpdateWindow, ClosingDuringCheckEndsItAndLoadReusesLoadedWindow)
{
    setUpdateServer(base("hang"));
    QPointer<frmCheck4Updates> f = frmCheck4Updates::load();
    EXPECT_EQ(frmCheck4Updates::load(), f.data());
    QTest::qWait(300); // the request is out
    f->close();
    EXPECT_TRUE(f->CheckDone);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(frmCheck4Updates::instance(), nullptr);
    f->unload(); // a second unload does nothing
    EXPECT_EQ(shown, 1);
    QTest::qWait(50);
    EXPECT_TRUE(f.isNull());

    // Loading again starts a fresh check.
    setUpdateServer(base("short"));
    QPointer<frmCheck4Updates> again = frmCheck4Updates::load();
    EXPECT_FALSE(again->CheckDone);
    EXPECT_TRUE(QTest::qWaitFor([&] { return again->CheckDone; }, 6000));
}

TEST(ResizeAdapter, WidgetsMoveInPixelsAndTheirFrameFollows)
{
    modResize::ResetWindowTable();
    QWidget window;
    auto *frame = new QFrame(&window);
    frame->setGeometry(10, 10, 200, 100);
    auto *button = new QPushButton(frame);
    button->setGeometry(5, 5, 60, 20);
    window.resize(727, 509); // 10905 x 7635 twips
    window.showMaximized();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QRect outer = window.frameGeometry();
    ASSERT_TRUE(window.isMaximized());

    ResizeControls(&window, {NewCtlDefinition(button, 0, 1, 1, 0)});
    const int dW = qRound((outer.width() * 15 - 10905) / 15.0);
    const int dH = qRound((outer.height() * 15 - 7635) / 15.0);
    EXPECT_EQ(button->geometry(), QRect(5, 5 + dH, 60 + dW, 20));
    EXPECT_EQ(frame->geometry(), QRect(10, 10 + dH, 200 + dW, 100));
}
