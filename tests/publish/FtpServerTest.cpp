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

    sendTree(*ftp, local, "img", server.root.path());
    err.clear();
    // Names as listed; a read-only local copy is replaced.
    EXPECT_TRUE(ftp->FTPGetAll(down.path(), "HTM", "/dl", err)) << err.toStdString();
    EXPECT_TRUE(ftp->FTPGetAll(down.path(), ".HTM", "/intl", err)) << err.toStdString();
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();
    ftp.reset();

    EXPECT_EQ(readAll(down.filePath("Index.htm")), "page");
    EXPECT_FALSE(QFile::exists(down.filePath("logo.gif")));
    EXPECT_EQ(readAll(down.filePath(euro)), "euro");
    EXPECT_EQ(server.logins(), 1);
}
