// Passwords in a real keyring: run by with_keyring.sh (a private session bus with
// gnome-keyring-daemon, unlocked with a test password, in a throw-away home).
#include "FtpServerFixture.h"
#include "common/RecordingDialogs.h"
#include "platform/AppFolder.h"
#include "publish/FrmUploadInfo.h"
#include "ui_FrmUploadInfo.h"

#include <QProcess>

using testing_support::readAll;

// The command line and the window take the password from the keyring and put it there.
TEST(Keyring, PasswordsLiveInTheKeyringOnly)
{
    QTemporaryDir app;
    platform::setApplicationFolder(app.path());
    qputenv("QUILLMARK_DATA", QFile::encodeName(app.path())); // for the program run
    testing_support::RecordingDialogs dialogs;
    publish_testing::FtpServer ftp;
    ASSERT_TRUE(ftp.start());
    const QString ini = app.filePath("ftpinfo.ini"), page = app.filePath("index.htm");
    ASSERT_TRUE(publish_testing::makeFile(page, "<html></html>"));
    const auto publish = [&](const QStringList &arguments) {
        QProcess process;
        process.start(testing_support::binaryDir() + "/bin/quillmark",
                      QStringList{"publish", page, "--all"} + arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        return process.exitCode();
    };
    const QString server = QString("ftp://user@127.0.0.1:%1").arg(ftp.port());

    ASSERT_TRUE(publish_testing::makeFile(
        ini, QString("[TEXT]\r\ntxtServerName=127.0.0.1\r\ntxtServerPort=%1\r\ntxtUserId=user\r\n"
                     "txtPassword=secret\r\n")
                 .arg(ftp.port())
                 .toUtf8()));
    EXPECT_EQ(publish({}), 0);
    EXPECT_FALSE(readAll(ini).contains("secret")) << readAll(ini).constData();
    EXPECT_EQ(publish({"--to", server + "/"}), 0);

    publish::FrmUploadInfo w;
    EXPECT_EQ(w.ui()->txtPassword->text(), "secret");
    w.ui()->txtPassword->setText("n\u00e9w p=ss");
    w.cmdSave_Click();
    const auto keyring = publish::DesktopKeyring(10000);
    EXPECT_EQ(keyring->read(server).secret, "n\u00e9w p=ss");
    EXPECT_FALSE(readAll(ini).contains("p=ss")) << readAll(ini).constData();
    EXPECT_TRUE(dialogs.messages.empty()) << qPrintable(dialogs.lastMessage());
    EXPECT_EQ(keyring->remove(server).status, publish::SecretStatus::Ok);
    EXPECT_EQ(keyring->read(server).status, publish::SecretStatus::NoEntry);
}
