// The update query, the disk serial decode and the browser launcher.
#include "common/RecordingDialogs.h"
#include "common/TestSupport.h"
#include "desktop/OpenURLInNewWindow.h"
#include "desktop/UpdateCheck.h"
#include "desktop/basGetHDDSerial.h"
#include "platform/HttpFetch.h"

#include <QtCore>
#include <gtest/gtest.h>

using namespace desktop;

TEST(UpdateQuery, UrlCarriesVersionSecondsAndEncodedIdentifierToTheServerAddress)
{
    EXPECT_EQ(VersionQueryUrl("http://h/q/", "ABC123", "45296.52"),
              "http://h/q/getversion.php?v=1.0.0&wm=1&r=45296.52&user=ABC123");
    EXPECT_EQ(SecondsSinceMidnightText(QTime(12, 34, 56, 520)), "45296.52");
    // A blank or "&" in the identifier must not break the request line or add keys.
    const QString page = UpdatePageUrl("http://h/", "A&B=C D", "1");
    EXPECT_TRUE(page.startsWith("http://h/getupdate.php?v=1.0.0&wm=1&r=1&user=")) << page.toStdString();
    EXPECT_FALSE(page.contains(' '));
    EXPECT_EQ(QUrlQuery(QUrl(page)).queryItemValue("user", QUrl::FullyDecoded), "A&B=C D");

    // The server address: a set one gets its slash; the default is harmless and fails.
    setUpdateServer("http://127.0.0.1:9");
    EXPECT_EQ(updateServer(), "http://127.0.0.1:9/");
    setUpdateServer(QString());
    // The environment's, for a test server or a mirror; the one set wins over it.
    qputenv("QUILLMARK_UPDATE_SERVER", "http://127.0.0.1:8/mirror");
    EXPECT_EQ(updateServer(), "http://127.0.0.1:8/mirror/");
    setUpdateServer("http://127.0.0.1:9/");
    EXPECT_EQ(updateServer(), "http://127.0.0.1:9/");
    setUpdateServer(QString());
    qunsetenv("QUILLMARK_UPDATE_SERVER");
    EXPECT_TRUE(QUrl(updateServer()).host().endsWith(".invalid"));
    EXPECT_FALSE(platform::fetchUrl(QUrl(VersionQueryUrl(updateServer(), "x", "1")), kUpdateFetchTimeoutMs));
}

TEST(UpdateQuery, AnswerComparesDigitStrings)
{
    // The window test covers newer, equal, older, empty, short, too large and unusable
    // answers; here the largest number and a field too many.
    EXPECT_EQ(ParseVersionAnswer("x||32767||y"), UpdateAnswer::Newer);
    EXPECT_EQ(ParseVersionAnswer("a||1.0.1||b||c"), UpdateAnswer::Unreadable);
}

TEST(DiskSerial, IdentifyWordsSwappedElseSysfsSerialAllTrimmed)
{
    QByteArray data(512, '\0');
    data.replace(20, 20, QByteArray("2143").leftJustified(20, ' '));
    EXPECT_EQ(DecodeIdentifySerial(data), "1234");
    data.replace(20, 20, QByteArray("  DWW-CCN42143  \0\0\0\0", 20));
    EXPECT_EQ(DecodeIdentifySerial(data), "WD-WCC4N1234");
    EXPECT_EQ(DecodeIdentifySerial(QByteArray(30, 'x')), QString());

    // No /dev/qm0 to answer IDENTIFY: the sysfs serial, without its blanks and NULs.
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("qm0"));
    ASSERT_TRUE(testing_support::writeAll(dir.filePath("qm0/serial"), QByteArray(" QM42\0\0\n", 8)));
    EXPECT_EQ(GetHDDSerial(dir.path()), "QM42");

    const QString id = GetHDDSerial(); // whatever this machine offers, never empty
    EXPECT_FALSE(id.isEmpty());
    EXPECT_EQ(id, id.trimmed());
}

TEST(Browser, ProgramFromRegisteredCommandAfterEnv)
{
    // Quoted, plain and unterminated commands: the launcher's test.
    EXPECT_EQ(BrowserProgramFromCommand("env A=1 B=2 /snap/bin/web %U"), "/snap/bin/web");
}

class Launcher : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The test process keeps these: nothing else in it looks for a browser.
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS"})
            qputenv(name, QFile::encodeName(dir.filePath(name)));
        qunsetenv("XDG_CURRENT_DESKTOP");
        setProcessStarter([this](const QString &program, const QStringList &args) {
            return started << program + '|' + args.join('|'), true;
        });
        setUrlOpener([this](const QUrl &url) { return opened << url, true; });
    }
    void TearDown() override
    {
        setProcessStarter({});
        setUrlOpener({});
    }
    // The handler list names a missing entry first; other sections name other programs.
    void registerBrowser(const QByteArray &exec)
    {
        write("XDG_CONFIG_HOME/mimeapps.list", "[Added Associations]\nx-scheme-handler/http=other.desktop;\n"
                                               "[Default Applications]\ntext/html=other.desktop\n"
                                               "x-scheme-handler/http=gone.desktop;web.desktop;\n");
        write("XDG_DATA_HOME/applications/web.desktop", "[Desktop Entry]\nName=Web\nExec=" + exec + "\n");
    }
    void write(const QString &relative, const QByteArray &text)
    {
        QDir(dir.path()).mkpath(QFileInfo(relative).path());
        ASSERT_TRUE(testing_support::writeAll(dir.filePath(relative), text));
    }

    QTemporaryDir dir;
    QStringList started;
    QList<QUrl> opened;
    testing_support::RecordingDialogs dialogs;
};

TEST_F(Launcher, RegisteredProgramOrShellOpenOrMessage)
{
    EXPECT_EQ(GetDefaultBrowser(), kInvalidBrowser);
    OpenNewBrowserWindow("http://example.com/");
    EXPECT_TRUE(started.isEmpty() && opened.isEmpty());
    EXPECT_EQ(dialogs.messageTexts(), QStringList{kNoBrowserMessage});

    registerBrowser("\"/opt/Web Browser/web\" --new-window %u");
    EXPECT_EQ(GetDefaultBrowser(), "\"/opt/Web Browser/web\"");
    OpenLink("http://example.com/a b", true);
    EXPECT_EQ(started, QStringList{"/opt/Web Browser/web|http://example.com/a b"});
    EXPECT_TRUE(opened.isEmpty());

    started.clear();
    registerBrowser("\"broken %u");
    OpenNewBrowserWindow("http://example.com/");
    EXPECT_TRUE(started.isEmpty());
    EXPECT_EQ(opened, QList<QUrl>{QUrl("http://example.com/")});
    EXPECT_EQ(dialogs.messages.size(), 1u);

    write("page.htm", "<p>");
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir.path()); // a page named from the working folder
    OpenLink("page.htm", false);
    QDir::setCurrent(cwd);
    EXPECT_EQ(opened.last(), QUrl::fromLocalFile(dir.filePath("page.htm")));

    registerBrowser("web %u");
    setProcessStarter([](const QString &, const QStringList &) { return false; });
    setUrlOpener([](const QUrl &) { return false; });
    dialogs.messages.clear();
    OpenNewBrowserWindow("http://example.com/");
    EXPECT_EQ(dialogs.lastMessage(), kNoBrowserMessage);

    // Without a default, an installed handler; the desktop's own defaults come first.
    QFile::remove(dir.filePath("XDG_CONFIG_HOME/mimeapps.list"));
    write("XDG_DATA_HOME/applications/mimeinfo.cache", "[MIME Cache]\nx-scheme-handler/http=web.desktop;\n");
    EXPECT_EQ(GetDefaultBrowser(), "web");
    write("XDG_CONFIG_HOME/gnome-mimeapps.list",
          "[Default Applications]\nx-scheme-handler/http=gnome.desktop\n");
    write("XDG_DATA_HOME/applications/gnome.desktop", "[Desktop Entry]\nExec=gnome-web %u\n");
    qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    EXPECT_EQ(GetDefaultBrowser(), "gnome-web");
}
