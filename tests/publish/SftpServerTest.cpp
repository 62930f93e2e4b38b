#include "FtpServerFixture.h"

#include <gtest/gtest.h>

using namespace publish_testing;
using publish::FTP;
using testing_support::readAll;

// Unknown host keys and a wrong password are refused; then a tree goes up and
// comes back down over one connection.
TEST(SftpServer, OnlyKnownHostsAreTrustedAndFilesTravelIntact)
{
    QTemporaryDir root, keys, local, down;
    testing_support::ServerProcess server(testing_support::systemPython(),
                                          {testing_support::sourceDir() + "/tests/publish/sftp_server.py",
                                           "--root", root.path(), "--known-hosts",
                                           keys.filePath("known_hosts")});
    ASSERT_TRUE(server.start(20000));
    const QByteArray entry = readAll(keys.filePath("known_hosts"));
    const QByteArray host = "[127.0.0.1]:" + QByteArray::number(server.port()) + " ";
    ASSERT_TRUE(entry.startsWith(host + "ssh-rsa ")) << entry.toStdString();
    ASSERT_TRUE(makeFile(root.filePath("dl/Index.htm"), "page"));
    ASSERT_TRUE(makeFile(root.filePath("dl/caf\u00e9.gif"), sample(300, 4)));
    ASSERT_TRUE(makeSendTree(local));
    Home home;
    QString err;
    QByteArray log;
    auto logins = [&] {
        log += server.output();
        return log.count("LOGIN ");
    };

    QByteArray otherPort = entry, otherKey = entry;
    otherPort.replace(host, "[127.0.0.1]:1 ");
    otherKey[entry.size() - 20] = entry[entry.size() - 20] == 'A' ? 'B' : 'A';
    for (const QByteArray &known : {QByteArray(), otherPort, otherKey}) {
        ASSERT_TRUE(home.knows(known));
        err.clear();
        EXPECT_FALSE(connectClient(server.port(), "secret", "sftp://")
                         ->FTPPut(local.path() + "/", "index.htm", "", err))
            << known.data();
        EXPECT_TRUE(err.startsWith("Error Msg: The secure connection failed")) << err.toStdString();
        EXPECT_FALSE(QFile::exists(root.filePath("index.htm")));
    }
    EXPECT_EQ(logins(), 0);

    ASSERT_TRUE(home.knows(entry));
    EXPECT_FALSE(connectClient(server.port(), "wrong", "sftp://")->FTPChangeRemoteFolder("", err));
    EXPECT_TRUE(err.startsWith("Error Msg: The server refused the user name or password ("))
        << err.toStdString();

    auto ftp = connectClient(server.port(), "secret", "sftp://");
    // The server's refusal is reported, and the connection is kept (one login).
    EXPECT_FALSE(ftp->FTPChangeRemoteFolder("missing", err));
    EXPECT_TRUE(err.startsWith("Error Msg: Could not open directory for reading: No such file"))
        << err.toStdString();
    EXPECT_EQ(remoteFolder(*ftp), "");

    EXPECT_TRUE(ftp->FTPCreateRemoteFolder("www", err)); // then again, already there
    // Folder names travel inside a quoted command.
    sendTree(*ftp, local, "my \"img\"", root.path());
    err.clear();
    // Every listed file of a folder comes down.
    EXPECT_TRUE(ftp->FTPGetAll(down.path(), "", "/dl", err)) << err.toStdString();
    EXPECT_TRUE(ftp->FTPGet(down.path(), "my logo%20.gif", "/www", err, true)) << err.toStdString();
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();
    ftp.reset();

    EXPECT_EQ(readAll(down.filePath("Index.htm")), "page");
    EXPECT_EQ(readAll(down.filePath("caf\u00e9.gif")), sample(300, 4));
    EXPECT_EQ(readAll(down.filePath("my logo%20.gif")), sample(3000, 2));
    EXPECT_EQ(QDir(down.path()).entryList(QDir::Files).size(), 3);
    EXPECT_EQ(logins(), 1);
}
