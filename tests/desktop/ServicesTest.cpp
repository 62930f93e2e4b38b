// The update query, the disk serial decode and the browser launcher.
#include "common/RecordingDialogs.h"
#include "desktop/OpenURLInNewWindow.h"
#include "desktop/UpdateCheck.h"
#include "desktop/basGetHDDSerial.h"
#include "platform/HttpFetch.h"

#include <QDir>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <gtest/gtest.h>

using namespace desktop;

TEST(UpdateQuery, UrlCarriesVersionSecondsAndEncodedIdentifier)
{
    EXPECT_EQ(
        VersionQueryUrl(QStringLiteral("http://h/q/"), QStringLiteral("ABC123"), QStringLiteral("45296.52")),
        QStringLiteral("http://h/q/getversion.php?v=1.0.0&wm=1&r=45296.52&user=ABC123"));
    EXPECT_EQ(SecondsSinceMidnightText(QTime(12, 34, 56, 520)), QStringLiteral("45296.52"));
    EXPECT_EQ(SecondsSinceMidnightText(QTime(0, 0)), QStringLiteral("0"));

    // A blank or "&" in the identifier must not break the request line or add keys.
    const QString page = UpdatePageUrl(QStringLiteral("http://h/"), QStringLiteral("[Not present]"), "1");
    EXPECT_TRUE(page.startsWith(QStringLiteral("http://h/getupdate.php?v=1.0.0&wm=1&r=1&user=")));
    EXPECT_FALSE(page.contains(QLatin1Char(' ')));
    const QUrl odd(VersionQueryUrl(QStringLiteral("http://h/"), QStringLiteral("A&B=C D"), "1"));
    EXPECT_EQ(QUrlQuery(odd).queryItemValue(QStringLiteral("user"), QUrl::FullyDecoded),
              QStringLiteral("A&B=C D"));
    EXPECT_EQ(QUrlQuery(QUrl(page)).queryItemValue(QStringLiteral("user"), QUrl::FullyDecoded),
              QStringLiteral("[Not present]"));
}

TEST(UpdateQuery, ServerAddressOverrideAndHarmlessDefault)
{
    setUpdateServer(QStringLiteral("http://127.0.0.1:9"));
    EXPECT_EQ(updateServer(), QStringLiteral("http://127.0.0.1:9/"));
    setUpdateServer(QString());
    qputenv("QUILLMARK_UPDATE_SERVER", "http://127.0.0.1:8/x/");
    EXPECT_EQ(updateServer(), QStringLiteral("http://127.0.0.1:8/x/"));
    qunsetenv("QUILLMARK_UPDATE_SERVER");
    EXPECT_TRUE(QUrl(updateServer()).host().endsWith(QStringLiteral(".invalid")));
    EXPECT_FALSE(platform::fetchUrl(QUrl(VersionQueryUrl(updateServer(), "x", "1")), kUpdateFetchTimeoutMs));
}

TEST(UpdateQuery, AnswerComparesDigitStrings)
{
    // The window test covers equal, older, empty, short and unusable answers.
    EXPECT_EQ(ParseVersionAnswer(QStringLiteral("x||1.1.0||y")), UpdateAnswer::Newer);
    EXPECT_EQ(ParseVersionAnswer(QStringLiteral("x||32767||y")), UpdateAnswer::Newer);
    EXPECT_EQ(ParseVersionAnswer(QStringLiteral("x||2||y")), UpdateAnswer::NotNewer);
    EXPECT_EQ(ParseVersionAnswer(QStringLiteral("x||3.2.7.6.8||y")), UpdateAnswer::NotNewer);
    EXPECT_EQ(ParseVersionAnswer(QStringLiteral("a||1.0.1||b||c")), UpdateAnswer::Unreadable);
}

TEST(DiskSerial, IdentifyWordsAreSwappedAndTrimmed)
{
    QByteArray data(512, '\0');
    data.replace(20, 20, QByteArray("2143").leftJustified(20, ' '));
    EXPECT_EQ(DecodeIdentifySerial(data), QStringLiteral("1234"));

    data.replace(20, 20, QByteArray("  DWW-CCN42143  \0\0\0\0", 20));
    EXPECT_EQ(DecodeIdentifySerial(data), QStringLiteral("WD-WCC4N1234"));
    EXPECT_EQ(DecodeIdentifySerial(QByteArray(30, 'x')), QString());

    const QString id = GetHDDSerial(); // whatever this machine offers, never empty
    EXPECT_FALSE(id.isEmpty());
    EXPECT_EQ(id, id.trimmed());
}

TEST(Browser, ProgramFromRegisteredCommand)
{
    EXPECT_EQ(BrowserProgramFromCommand(QStringLiteral("\"C:\\Program Files\\Web\\web.exe\" \"%1\"")),
              QStringLiteral("\"C:\\Program Files\\Web\\web.exe\""));
    EXPECT_EQ(BrowserProgramFromCommand(QStringLiteral("/usr/bin/firefox-esr %u")),
              QStringLiteral("/usr/bin/firefox-esr"));
    EXPECT_EQ(BrowserProgramFromCommand(QStringLiteral("env A=1 B=2 /snap/bin/web %U")),
              QStringLiteral("/snap/bin/web"));
    EXPECT_EQ(BrowserProgramFromCommand(QStringLiteral("\"unterminated %u")), QString());
}

class Launcher : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The test process keeps these: nothing else in it looks for a browser.
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS"})
            qputenv(name, QFile::encodeName(dir.path() + QLatin1Char('/') + QLatin1String(name)));
        qunsetenv("XDG_CURRENT_DESKTOP");
        QDir(dir.path()).mkpath(QStringLiteral("XDG_DATA_HOME/applications"));
        QDir(dir.path()).mkpath(QStringLiteral("XDG_CONFIG_HOME"));
        setProcessStarter([this](const QString &program, const QStringList &args) {
            started << program + QLatin1Char('|') + args.join(QLatin1Char('|'));
            return true;
        });
        setUrlOpener([this](const QUrl &url) { return opened << url, true; });
    }
    void TearDown() override
    {
        setProcessStarter({});
        setUrlOpener({});
    }
    void registerBrowser(const QByteArray &exec)
    {
        write("XDG_CONFIG_HOME/mimeapps.list",
              "[Added Associations]\nx-scheme-handler/http=other.desktop;\n"
              "[Default "
              "Applications]\ntext/html=other.desktop\nx-scheme-handler/http=gone.desktop;web.desktop;\n");
        write("XDG_DATA_HOME/applications/web.desktop", "[Desktop Entry]\nName=Web\nExec=" + exec + "\n");
    }
    void write(const char *relative, const QByteArray &text)
    {
        QFile f(dir.path() + QLatin1Char('/') + QLatin1String(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    QTemporaryDir dir;
    QStringList started;
    QList<QUrl> opened;
    testing_support::RecordingDialogs dialogs;
};

TEST_F(Launcher, NewWindowStartsRegisteredProgramWithTheAddress)
{
    registerBrowser("\"/opt/Web Browser/web\" --new-window %u");
    EXPECT_EQ(GetDefaultBrowser(), QStringLiteral("\"/opt/Web Browser/web\""));
    OpenLink(QStringLiteral("http://example.com/a b"), true);
    EXPECT_EQ(started, QStringList{QStringLiteral("/opt/Web Browser/web|http://example.com/a b")});
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(Launcher, NoRegisteredBrowserIsReported)
{
    EXPECT_EQ(GetDefaultBrowser(), kInvalidBrowser);
    OpenNewBrowserWindow(QStringLiteral("http://example.com/"));
    EXPECT_TRUE(started.isEmpty());
    EXPECT_EQ(dialogs.lastMessage(), kNoBrowserMessage);
}

TEST_F(Launcher, UnusableCommandOrFailedStartFallsBackToShellOpen)
{
    registerBrowser("\"broken %u");
    OpenNewBrowserWindow(QStringLiteral("http://example.com/"));
    EXPECT_TRUE(started.isEmpty());
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first(), QUrl(QStringLiteral("http://example.com/")));

    write("page.htm", "<p>");
    OpenLink(dir.path() + QStringLiteral("/page.htm"), false);
    EXPECT_EQ(opened.last(), QUrl::fromLocalFile(dir.path() + QStringLiteral("/page.htm")));

    registerBrowser("web %u");
    setProcessStarter([](const QString &, const QStringList &) { return false; });
    setUrlOpener([](const QUrl &) { return false; });
    OpenNewBrowserWindow(QStringLiteral("http://example.com/"));
    EXPECT_EQ(dialogs.lastMessage(), kNoBrowserMessage);
}
