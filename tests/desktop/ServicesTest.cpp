// The update query, the disk serial decode, the browser launcher and the folder picker.
#include "common/RecordingDialogs.h"
#include "desktop/BrowseDirectorysOnly.h"
#include "desktop/OpenURLInNewWindow.h"
#include "desktop/UpdateCheck.h"
#include "desktop/basGetHDDSerial.h"

#include <QDir>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <gtest/gtest.h>

using namespace desktop;

TEST(UpdateQuery, UrlCarriesVersionSecondsAndEncodedIdentifier)
{
    EXPECT_EQ(VersionQueryUrl(QStringLiteral("http://h/q/"), QStringLiteral("ABC123"), QStringLiteral("45296.52")),
              QStringLiteral("http://h/q/getversion.php?v=1.0.0&wm=1&r=45296.52&user=ABC123"));
    EXPECT_EQ(SecondsSinceMidnightText(QTime(12, 34, 56, 520)), QStringLiteral("45296.52"));
    EXPECT_EQ(SecondsSinceMidnightText(QTime(0, 0)), QStringLiteral("0"));

    // A blank or "&" in the identifier must not break the request line or add keys.
    const QString page = UpdatePageUrl(QStringLiteral("http://h/"), QStringLiteral("[Not present]"), "1");
    EXPECT_TRUE(page.startsWith(QStringLiteral("http://h/getupdate.php?v=1.0.0&wm=1&r=1&user=")));
    EXPECT_FALSE(page.contains(QLatin1Char(' ')));
    const QUrl odd(VersionQueryUrl(QStringLiteral("http://h/"), QStringLiteral("A&B=C D"), "1"));
    EXPECT_EQ(QUrlQuery(odd).queryItemValue(QStringLiteral("user"), QUrl::FullyDecoded), QStringLiteral("A&B=C D"));
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
}

TEST(UpdateQuery, AnswerComparesDigitStrings)
{
    const struct {
        const char *answer;
        UpdateAnswer expected;
    } cases[] = {
        {"x||1.0.1||y", UpdateAnswer::Newer},       {"x||1.1.0||y", UpdateAnswer::Newer},
        {"x||1.0.0||y", UpdateAnswer::NotNewer},    {"x||1.1||y", UpdateAnswer::NotNewer},
        {"x||2||y", UpdateAnswer::NotNewer},        {"x||||y", UpdateAnswer::NotNewer},
        {"x||32767||y", UpdateAnswer::Newer},       {"x||3.2.7.6.8||y", UpdateAnswer::NotNewer},
        {"x||1.o.1||y", UpdateAnswer::NotNewer},    {"1.0.1", UpdateAnswer::Unreadable},
        {"", UpdateAnswer::Unreadable},             {"a||1.0.1||b||c", UpdateAnswer::Unreadable},
        {"<html>error</html>", UpdateAnswer::Unreadable},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ParseVersionAnswer(QString::fromLatin1(c.answer)), c.expected) << c.answer;
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
        for (const char *name : kVars) {
            saved.push_back(qgetenv(name));
            qputenv(name, QFile::encodeName(dir.path() + QLatin1Char('/') + QLatin1String(name)));
        }
        qunsetenv("XDG_CURRENT_DESKTOP");
        QDir(dir.path()).mkpath(QStringLiteral("XDG_DATA_HOME/applications"));
        QDir(dir.path()).mkpath(QStringLiteral("XDG_CONFIG_HOME"));
        setProcessStarter([this](const QString &program, const QStringList &args) {
            started << program + QLatin1Char('|') + args.join(QLatin1Char('|'));
            return true;
        });
        setUrlOpener([this](const QUrl &url) {
            opened << url;
            return true;
        });
    }
    void TearDown() override
    {
        for (std::size_t i = 0; i < std::size(kVars); ++i)
            qputenv(kVars[i], saved[i]);
        setProcessStarter({});
        setUrlOpener({});
    }
    void registerBrowser(const QByteArray &exec)
    {
        write("XDG_CONFIG_HOME/mimeapps.list",
              "[Added Associations]\nx-scheme-handler/http=other.desktop;\n"
              "[Default Applications]\ntext/html=other.desktop\nx-scheme-handler/http=gone.desktop;web.desktop;\n");
        write("XDG_DATA_HOME/applications/web.desktop", "[Desktop Entry]\nName=Web\nExec=" + exec + "\n");
    }
    void write(const char *relative, const QByteArray &text)
    {
        QFile f(dir.path() + QLatin1Char('/') + QLatin1String(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    static constexpr const char *kVars[] = {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS"};
    QTemporaryDir dir;
    std::vector<QByteArray> saved;
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

    registerBrowser("web %u");
    setProcessStarter([](const QString &, const QStringList &) { return false; });
    setUrlOpener([](const QUrl &) { return false; });
    OpenNewBrowserWindow(QStringLiteral("http://example.com/"));
    EXPECT_EQ(dialogs.lastMessage(), kNoBrowserMessage);
}

TEST_F(Launcher, ShellOpenTakesFilesAndAddresses)
{
    write("page.htm", "<p>");
    OpenLink(dir.path() + QStringLiteral("/page.htm"), false);
    ShellOpen(QStringLiteral("https://example.com/x?a=1"));
    EXPECT_FALSE(ShellOpen(QString()));
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(dir.path() + QStringLiteral("/page.htm")));
    EXPECT_EQ(opened[1], QUrl(QStringLiteral("https://example.com/x?a=1")));
}

TEST(FolderPicker, StartFolderPassedAndCancelIsEmpty)
{
    testing_support::RecordingDialogs dialogs;
    dialogs.folders = {QStringLiteral("/srv/site"), QString()};
    EXPECT_EQ(BrowseForFolder(nullptr, QStringLiteral("Add Folder"), QStringLiteral("/home")),
              QStringLiteral("/srv/site"));
    EXPECT_EQ(BrowseForFolder(nullptr, QStringLiteral("Add Folder"), QStringLiteral("/home")), QString());
    ASSERT_EQ(dialogs.folderStarts.size(), 2u);
    EXPECT_EQ(dialogs.folderStarts[0], QStringLiteral("/home"));
}
