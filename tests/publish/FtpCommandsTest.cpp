#include "publish/FTP.h"
#include "publish/transport/FtpCommand.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

using publish::FTP;

namespace {

// Records every command; answers from a table keyed by the whole command text.
struct RecordingTransport : transport::Transport {
    struct Reply {
        int code = 0;
        QString info;
        QByteArray output;
    };
    QStringList commands;
    std::map<QString, Reply> replies;
    Reply last;

    void Execute(const QString &operation) override
    {
        commands << operation;
        auto it = replies.find(operation);
        last = it == replies.end() ? Reply{} : it->second;
    }
    bool StillExecuting() const override { return false; }
    int ResponseCode() const override { return last.code; }
    QString ResponseInfo() const override { return last.info; }
    QString GetChunk(int size) override
    {
        const QByteArray piece = last.output.left(size);
        last.output.remove(0, piece.size());
        return QString::fromLatin1(piece);
    }
};

struct Client {
    RecordingTransport *ctl = new RecordingTransport;
    FTP ftp{std::unique_ptr<transport::Transport>(ctl)};
    QStringList status;
    QString err;
    Client()
    {
        ftp.setStatusSink([this](const QString &s) { status << s; });
    }
    void refuse(const QString &command) { ctl->replies[command] = {transport::kServerRefused, kRefusal, {}}; }
    static inline const QString kRefusal = QStringLiteral("550 No such file or directory.");
};

QString report(const QString &message, const char *procedure)
{
    return "Error Msg: " + message + "\r\nProcedure: " + procedure + "\r\n\r\nError Source: FTP Class";
}

} // namespace

TEST(FtpCommands, CommandTextsAndProgressLines)
{
    Client c;
    c.ctl->RemotePort = 2121;
    EXPECT_TRUE(c.ftp.FTPInit("ftp.example.com", "me", "pw", 0, 0, "", c.err));
    EXPECT_EQ(c.ctl->RequestTimeout, 300);
    EXPECT_EQ(c.ctl->RemotePort, 2121) << "port 0 leaves the transport's port";
    EXPECT_TRUE(c.ctl->commands.isEmpty()) << "the server is contacted by the first command";

    EXPECT_TRUE(c.ftp.FTPPut("/site/", "index.htm", "", c.err));
    EXPECT_TRUE(c.ftp.FTPPut("/site/", "my page.htm", "www", c.err));
    EXPECT_TRUE(c.ftp.FTPChangeRemoteFolder("www/img", c.err));
    EXPECT_TRUE(c.ftp.FTPCreateRemoteFolder("new dir", c.err));
    EXPECT_TRUE(c.ftp.FTPGet("/dl", "a.htm", "www", c.err, true));
    EXPECT_TRUE(c.ftp.FTPGet("/dl/", "b.htm", "www", c.err));
    c.ftp.FTPClose();
    EXPECT_EQ(c.ctl->commands,
              QStringList({"Put \"/site/index.htm\" ./index.htm", "Put \"/site/my page.htm\" www/my page.htm",
                           "CD www/img", "MKDIR new dir", "Get www/a.htm \"/dl/a.htm\"",
                           "Get b.htm \"/dl/b.htm\"", "CLOSE"}));
    EXPECT_EQ(c.status,
              QStringList({"Uploading File : \r\n/site/index.htm", "Uploading File : \r\n/site/my page.htm",
                           "Changing remote directory to www/img", "Creating Remote Folder new dir"}));
    EXPECT_TRUE(c.err.isEmpty());
}

TEST(FtpCommands, RefusalsGiveFourLineReports)
{
    Client c;
    c.refuse("CD missing");
    c.refuse("MKDIR exists");
    c.ctl->replies["MKDIR x"] = {transport::kTransportConnectionLost, "Connection lost.", {}};
    c.ctl->replies["Put \"/s/a\" ./a"] = {transport::kTransportTimedOut, "", {}};

    EXPECT_FALSE(c.ftp.FTPChangeRemoteFolder("missing", c.err));
    EXPECT_EQ(c.err, report(Client::kRefusal, "FTPChangeRemoteFolder"));
    c.err.clear();
    EXPECT_TRUE(c.ftp.FTPCreateRemoteFolder("exists", c.err)) << "a refused MKD means it is there";
    EXPECT_TRUE(c.err.isEmpty());
    EXPECT_FALSE(c.ftp.FTPCreateRemoteFolder("x", c.err));
    EXPECT_EQ(c.err, report("Connection lost.", "FTPCreateRemoteFolder"));
    // No text from the transport: the operation's own message.
    EXPECT_FALSE(c.ftp.FTPPut("/s/", "a", "", c.err));
    EXPECT_EQ(c.err, report("Error during FTP Put operation.", "FTPPut"));
}

TEST(FtpCommands, PutAllMatchesAnyCaseAndStopsAtFirstFailure)
{
    QTemporaryDir dir;
    for (const char *name : {"index.HTM", "logo.gif", "page.html", ".htaccess"})
        QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
    QDir(dir.path()).mkdir("sub.htm");
    const QString local = dir.path() + "/";

    Client c;
    EXPECT_TRUE(c.ftp.FTPPutAll(local, "htm", "www", c.err));
    EXPECT_EQ(c.ctl->commands, QStringList({"Put \"" + local + "index.HTM\" www/index.HTM",
                                            "Put \"" + local + "page.html\" www/page.html"}));
    c.ctl->commands.clear();
    c.refuse("Put \"" + local + "logo.gif\" ./logo.gif");
    EXPECT_FALSE(c.ftp.FTPPutAll(local, "", "", c.err));
    EXPECT_EQ(c.ctl->commands.size(), 3) << "hidden files go too";
    EXPECT_FALSE(c.ftp.FTPPutAll(local, "nothing", "", c.err));
    EXPECT_EQ(c.err, "No files found.");
    // A missing local folder: the pending error fills the last lines.
    EXPECT_FALSE(c.ftp.FTPPutAll(local + "gone/", "", "", c.err));
    EXPECT_EQ(c.err,
              "Error Msg: Error during FTP Put operation.\r\nProcedure: FTPPutAll\r\nError Number: 76\r\n"
              "Error Source: FTP Class\r\nDescription: Path not found: " +
                  local + "gone/");
}

TEST(FtpCommands, GetAllRequestsListedNames)
{
    Client c;
    QByteArray listing = "index.htm\r\nlogo.gif\r\n";
    for (int i = 0; i < 30; ++i) // longer than one piece
        listing += "file_number_" + QByteArray::number(i) + ".gif\r\n";
    // A server's listing cannot name a place outside the local folder: such names are
    // refused and reported, the good ones still come.
    listing += "../evil.htm\r\nsub/x.htm\r\n..\\up.htm\r\n..\r\nesc\x1b.htm\r\n";
    c.ctl->replies["Dir"] = {0, {}, listing + "About.HTM"};
    EXPECT_FALSE(c.ftp.FTPGetAll("/dl", "HTM", "www", c.err));
    EXPECT_TRUE(c.err.contains("../evil.htm")) << c.err.toStdString();
    EXPECT_EQ(c.ctl->commands, QStringList({"CD www", "Dir", "Get index.htm \"/dl/index.htm\"",
                                            "Get About.HTM \"/dl/About.HTM\""}));

    // "." is the folder itself: passed over, not refused.
    c.ctl->replies["Dir"] = {0, {}, ".\r\nx.gif\r\n"};
    EXPECT_TRUE(c.ftp.FTPGetAll("/dl", "", "www", c.err)) << c.err.toStdString();
    c.ctl->replies["Dir"] = {};
    EXPECT_FALSE(c.ftp.FTPGetAll("/dl", "", "www", c.err));
    EXPECT_EQ(c.err, "No files found.");
    c.refuse("CD gone");
    EXPECT_FALSE(c.ftp.FTPGetAll("/dl", "", "gone", c.err));
    EXPECT_EQ(c.err, report(Client::kRefusal, "FTPGetAll"));
}

// The legacy text commands: names may hold blanks and double quotes; the local and
// remote paths end in the same file name, which settles where each ends.
TEST(FtpCommands, PathsWithQuotesAndBlanksSplitWhereTheNamesMatch)
{
    QString remote, local;
    ASSERT_TRUE(transport::SplitGetArguments(R"(say "hi" .txt "/dl/x "y/say "hi" .txt")", remote, local));
    EXPECT_EQ(remote, R"(say "hi" .txt)");
    EXPECT_EQ(local, R"(/dl/x "y/say "hi" .txt)");
    ASSERT_TRUE(transport::SplitPutArguments(R"("/up/a" b/say "hi" .txt" www/say "hi" .txt)", local, remote));
    EXPECT_EQ(local, R"(/up/a" b/say "hi" .txt)");
    EXPECT_EQ(remote, R"(www/say "hi" .txt)");
}
