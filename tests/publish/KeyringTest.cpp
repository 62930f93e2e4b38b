// Passwords in a real keyring: run by with_keyring.sh (a private session bus with
// gnome-keyring-daemon, unlocked with a test password, in a throw-away home).
#include "FtpServerFixture.h"
#include "common/RecordingDialogs.h"
#include "platform/AppFolder.h"
#include "publish/FrmUploadInfo.h"
#include "publish/SavedTarget.h"
#include "publish/SecretStore.h"
#include "ui_FrmUploadInfo.h"

#include <QProcess>
#include <gtest/gtest.h>

using namespace publish;
using publish_testing::makeFile;
using testing_support::readAll;

namespace {

struct Keyring : ::testing::Test {
    QTemporaryDir app;
    testing_support::RecordingDialogs dialogs;
    std::unique_ptr<SecretStore> keyring = DesktopKeyring(10000);

    void SetUp() override
    {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) << "run by with_keyring.sh";
        platform::setApplicationFolder(app.path());
    }
    QString ini() const { return app.filePath("ftpinfo.ini"); }
    // The settings of a server, with a password in the file as earlier versions kept it.
    void saveSettings(int port, const QString &password)
    {
        ASSERT_TRUE(makeFile(ini(), QString("[TEXT]\r\ntxtServerName=127.0.0.1\r\ntxtServerPort=%1\r\n"
                                            "txtUserId=user\r\ntxtPassword=%2\r\n")
                                        .arg(port)
                                        .arg(password)
                                        .toUtf8()));
    }
    static Target server(int port)
    {
        Target t;
        t.host = "127.0.0.1";
        t.port = port;
        t.user = "user";
        return t;
    }
    SecretResult held(int port) { return keyring->read(PasswordKey(server(port))); }
};

} // namespace

// The window moves a password from the file into the keyring, reads it back from
// there, and stores a new one there; the file never keeps it and nothing is asked.
TEST_F(Keyring, WindowKeepsThePasswordInTheKeyringOnly)
{
    EXPECT_EQ(held(2121).status, SecretStatus::NoEntry);
    saveSettings(2121, "from-the-file");
    {
        FrmUploadInfo w;
        EXPECT_EQ(w.ui()->txtPassword->text(), "from-the-file");
        w.done(QDialog::Accepted);
    }
    EXPECT_EQ(held(2121).secret, "from-the-file");
    EXPECT_FALSE(readAll(ini()).contains("from-the-file")) << readAll(ini()).constData();
    {
        FrmUploadInfo w;
        EXPECT_EQ(w.ui()->txtPassword->text(), "from-the-file");
        w.ui()->txtPassword->setText("n\u00e9w p=ss");
        w.done(QDialog::Accepted);
    }
    EXPECT_EQ(held(2121).secret, "n\u00e9w p=ss");
    EXPECT_FALSE(readAll(ini()).contains("p=ss")) << readAll(ini()).constData();
    EXPECT_EQ(SavedTarget::load(ini()).storage, PasswordStorage::Keyring);
    EXPECT_TRUE(dialogs.messages.empty()) << qPrintable(dialogs.lastMessage());
    EXPECT_EQ(keyring->remove(PasswordKey(server(2121))).status, SecretStatus::Ok);
    EXPECT_EQ(held(2121).status, SecretStatus::NoEntry);
}

// `quillmark publish` takes the password from the keyring for a --to address and for
// the saved settings, and moves one still in the file there.
TEST_F(Keyring, CommandLineTakesThePasswordFromTheKeyring)
{
    publish_testing::FtpServer ftp;
    ASSERT_TRUE(ftp.start());
    const QString page = app.filePath("site/index.htm");
    ASSERT_TRUE(makeFile(page, "<html></html>"));
    const auto publish = [&](const QStringList &arguments) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUILLMARK_DATA", app.path());
        process.setProcessEnvironment(env);
        process.start(testing_support::binaryDir() + "/bin/quillmark",
                      QStringList{"publish", page, "--all"} + arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        return std::make_pair(process.exitCode(), process.readAllStandardError());
    };
    const QString to = QString("ftp://user@127.0.0.1:%1/").arg(ftp.port());

    auto [status, err] = publish({"--to", to});
    EXPECT_EQ(status, 1) << "no password anywhere";
    ASSERT_EQ(keyring->write(PasswordKey(server(ftp.port())), "secret").status, SecretStatus::Ok);
    std::tie(status, err) = publish({"--to", to});
    EXPECT_EQ(status, 0) << err.constData();

    ASSERT_EQ(keyring->remove(PasswordKey(server(ftp.port()))).status, SecretStatus::Ok);
    saveSettings(ftp.port(), "secret");
    std::tie(status, err) = publish({});
    EXPECT_EQ(status, 0) << err.constData();
    EXPECT_EQ(held(ftp.port()).secret, "secret");
    EXPECT_FALSE(readAll(ini()).contains("secret")) << readAll(ini()).constData();
    EXPECT_TRUE(readAll(ini()).contains("txtServerName=127.0.0.1"));
    std::tie(status, err) = publish({});
    EXPECT_EQ(status, 0) << err.constData();
}
