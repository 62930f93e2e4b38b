#include "FtpServerFixture.h"

#include <gtest/gtest.h>

using namespace publish_testing;
using testing_support::readAll;

// One connection: refusals, then a tree up and listed files down.
TEST(FtpServer, RefusalsAreReportedAndFilesStillTravelOverOneConnection)
{
    FtpServer server;
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(makeFile(server.path("keep.htm"), "k"));
    ASSERT_TRUE(makeFile(server.path("dl/Index.htm"), "page"));
    ASSERT_TRUE(makeFile(server.path("dl/logo.gif"), "gif"));
    // Non-ASCII names whose bytes straddle the listing's 256-character pieces.
    const QString euro = QString(66, QChar(0x20AC)) + ".htm";
    ASSERT_TRUE(makeFile(server.path("intl/" + QString(201, 'a') + ".txt"), "t"));
    ASSERT_TRUE(makeFile(server.path("intl/" + euro), "euro"));
    QTemporaryDir local, down;
    ASSERT_TRUE(makeSendTree(local));
    ASSERT_TRUE(makeFile(down.filePath("Index.htm"), "old"));
    QFile::setPermissions(down.filePath("Index.htm"), QFile::ReadOwner);
    ASSERT_TRUE(makeFile(down.filePath("gone.htm"), "keep me"));
    QFile::setPermissions(down.filePath("gone.htm"), QFile::ReadOwner);

    QString err;
    EXPECT_FALSE(connectClient(server.port(), "wrong")->FTPChangeRemoteFolder("", err));
    EXPECT_TRUE(err.startsWith("Error Msg: The server refused the user name or password: 530 "))
        << err.toStdString();

    auto ftp = connectClient(server.port());
    EXPECT_FALSE(ftp->FTPChangeRemoteFolder("missing", err));
    EXPECT_TRUE(err.startsWith("Error Msg: 550 ")) << err.toStdString();
    EXPECT_EQ(remoteFolder(*ftp), "");
    // A line break in a name must not reach the server as a second command.
    EXPECT_FALSE(ftp->FTPCreateRemoteFolder("x\r\nDELE keep.htm", err));
    EXPECT_TRUE(QFile::exists(server.path("keep.htm")));
    // A failed get keeps the local copy as it was, read-only too.
    EXPECT_FALSE(ftp->FTPGet(down.path(), "gone.htm", "", err));
    EXPECT_TRUE(err.startsWith("Error Msg: 550 ")) << err.toStdString();
    EXPECT_EQ(readAll(down.filePath("gone.htm")), "keep me");
    EXPECT_EQ(QFile::permissions(down.filePath("gone.htm")) & QFile::WriteOwner, 0);

    err.clear();
    qint64 lastProgress = 0;
    ftp->setProgressSink([&](qint64 done, qint64) { lastProgress = qMax(lastProgress, done); });
    EXPECT_TRUE(ftp->FTPCreateRemoteFolder("www", err));
    EXPECT_TRUE(ftp->FTPChangeRemoteFolder("www", err));
    EXPECT_TRUE(ftp->FTPPutAll(local.path() + "/", "", "", err)) << err.toStdString();
    EXPECT_TRUE(ftp->FTPCreateRemoteFolder("img", err));
    EXPECT_TRUE(ftp->FTPCreateRemoteFolder("img/deep", err));
    // The client tracks the remote directory: relative, "..", absolute.
    EXPECT_TRUE(ftp->FTPChangeRemoteFolder("img/deep", err));
    EXPECT_TRUE(ftp->FTPChangeRemoteFolder("../..", err));
    EXPECT_EQ(remoteFolder(*ftp), "www");
    EXPECT_TRUE(ftp->FTPChangeRemoteFolder("/www/img", err));
    EXPECT_EQ(remoteFolder(*ftp), "/www/img");
    EXPECT_TRUE(ftp->FTPPut(local.path() + "/img/deep/", "x.png", "deep", err)) << err.toStdString();
    // Names as listed; a read-only local copy is replaced.
    EXPECT_TRUE(ftp->FTPGetAll(down.path(), "HTM", "/dl", err)) << err.toStdString();
    EXPECT_TRUE(ftp->FTPGetAll(down.path(), ".HTM", "/intl", err)) << err.toStdString();
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();
    ftp.reset();

    EXPECT_EQ(readAll(server.path("www/index.htm")), sample(70000, 1));
    EXPECT_EQ(readAll(server.path("www/my logo%20.gif")), sample(3000, 2));
    EXPECT_EQ(readAll(server.path("www/img/deep/x.png")), sample(100, 3));
    EXPECT_EQ(lastProgress, 70000);
    EXPECT_EQ(readAll(down.filePath("Index.htm")), "page");
    EXPECT_FALSE(QFile::exists(down.filePath("logo.gif")));
    EXPECT_EQ(readAll(down.filePath(euro)), "euro");
    EXPECT_EQ(server.logins(), 1);
}

TEST(FtpServer, ExplicitTlsNeedsATrustedCertificate)
{
    FtpServer server;
    ASSERT_TRUE(server.start({}, true));
    QTemporaryDir local;
    ASSERT_TRUE(makeFile(local.filePath("secure.htm"), sample(5000, 9)));
    QString err;

    EXPECT_FALSE(
        connectClient(server.port(), "secret", "ftps://")->FTPPut(local.path() + "/", "secure.htm", "", err));
    EXPECT_TRUE(err.startsWith("Error Msg: The secure connection failed")) << err.toStdString();
    EXPECT_FALSE(QFile::exists(server.path("secure.htm")));

    auto ftp = connectClient(server.port(), "secret", "ftps://");
    ftp->transport().CaCertificates = server.certs.filePath("cert.pem");
    EXPECT_TRUE(ftp->FTPPut(local.path() + "/", "secure.htm", "", err)) << err.toStdString();
    EXPECT_EQ(readAll(server.path("secure.htm")), sample(5000, 9));
}
