#include "publish/FTP.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

using publish::FTP;

namespace {

// Records every command and answers from a script keyed by the command's verb.
class RecordingTransport : public platform::Transport {
public:
    struct Reply {
        int code = 0;
        QString info;
        QByteArray output;
    };
    QStringList commands;
    std::map<QString, Reply> replies; // keyed by the whole command text

    void Execute(const QString &operation) override
    {
        commands << operation;
        auto it = replies.find(operation);
        m_last = it == replies.end() ? Reply{} : it->second;
        m_pos = 0;
    }
    bool StillExecuting() const override { return false; }
    int ResponseCode() const override { return m_last.code; }
    QString ResponseInfo() const override { return m_last.info; }
    QString GetChunk(int size) override
    {
        QByteArray piece = m_last.output.mid(m_pos, size);
        m_pos += piece.size();
        return QString::fromLatin1(piece);
    }

private:
    Reply m_last;
    qsizetype m_pos = 0;
};

struct Client {
    RecordingTransport *ctl = new RecordingTransport;
    FTP ftp{std::unique_ptr<platform::Transport>(ctl)};
    QStringList status;
    Client()
    {
        ftp.setStatusSink([this](const QString &s) { status << s; });
    }
};

const QString kRefusal = QStringLiteral("550 No such file or directory.");

} // namespace

TEST(FtpCommands, InitSetsParametersWithoutContactingTheServer)
{
    Client c;
    c.ctl->RemotePort = 2121;
    QString err = "untouched";
    EXPECT_TRUE(c.ftp.FTPInit("ftp.example.com", "me", "pw", 0, 0, "", err));
    EXPECT_EQ(c.ctl->URL, "ftp.example.com");
    EXPECT_EQ(c.ctl->RequestTimeout, 300);
    EXPECT_EQ(c.ctl->RemotePort, 2121);
    EXPECT_EQ(c.ctl->AccessType, platform::kAccessDefault);
    EXPECT_EQ(c.ctl->Protocol, platform::kProtocolFtp);
    EXPECT_TRUE(c.ctl->commands.isEmpty());
    EXPECT_EQ(err, "untouched");

    EXPECT_TRUE(c.ftp.FTPInit("h", "u", "p", 20, 21, "proxy:3128", err));
    EXPECT_EQ(c.ctl->RequestTimeout, 20);
    EXPECT_EQ(c.ctl->RemotePort, 21);
    EXPECT_EQ(c.ctl->AccessType, platform::kAccessNamedProxy);
    EXPECT_EQ(c.ctl->Proxy, "proxy:3128");
}

TEST(FtpCommands, CommandTextsAndProgressLines)
{
    Client c;
    QString err;
    EXPECT_TRUE(c.ftp.FTPPut("/site/", "index.htm", "", err));
    EXPECT_TRUE(c.ftp.FTPPut("/site/", "my page.htm", "www", err));
    EXPECT_TRUE(c.ftp.FTPChangeRemoteFolder("www/img", err));
    EXPECT_TRUE(c.ftp.FTPCreateRemoteFolder("new dir", err));
    EXPECT_TRUE(c.ftp.FTPGet("/dl", "a.htm", "www", err, true));
    EXPECT_TRUE(c.ftp.FTPGet("/dl/", "b.htm", "www", err));
    c.ftp.FTPClose();
    EXPECT_EQ(c.ctl->commands, QStringList({"Put \"/site/index.htm\" ./index.htm",
                                             "Put \"/site/my page.htm\" www/my page.htm", "CD www/img",
                                             "MKDIR new dir", "Get www/a.htm \"/dl/a.htm\"",
                                             "Get b.htm \"/dl/b.htm\"", "CLOSE"}));
    EXPECT_EQ(c.status, QStringList({"Uploading File : \r\n/site/index.htm", "Uploading File : \r\n/site/my page.htm",
                                     "Changing remote directory to www/img", "Creating Remote Folder new dir"}));
    EXPECT_TRUE(err.isEmpty());
}

TEST(FtpCommands, RefusalsGiveFourLineReports)
{
    Client c;
    c.ctl->replies["CD missing"] = {platform::kServerRefused, kRefusal, {}};
    c.ctl->replies["MKDIR exists"] = {platform::kServerRefused, kRefusal, {}};
    c.ctl->replies["MKDIR x"] = {platform::kTransportConnectionLost, "The connection to the server failed.", {}};
    c.ctl->replies["Put \"/s/a\" ./a"] = {platform::kTransportTimedOut, "", {}};

    QString err;
    EXPECT_FALSE(c.ftp.FTPChangeRemoteFolder("missing", err));
    EXPECT_EQ(err, "Error Msg: 550 No such file or directory.\r\nProcedure: FTPChangeRemoteFolder\r\n\r\n"
                   "Error Source: FTP Class");

    // A refused MKD is taken as "already there"; any other failure is reported.
    err.clear();
    EXPECT_TRUE(c.ftp.FTPCreateRemoteFolder("exists", err));
    EXPECT_TRUE(err.isEmpty());
    EXPECT_FALSE(c.ftp.FTPCreateRemoteFolder("x", err));
    EXPECT_TRUE(err.startsWith("Error Msg: The connection to the server failed.\r\nProcedure: FTPCreateRemoteFolder"));

    // No text from the transport: the operation's own message.
    EXPECT_FALSE(c.ftp.FTPPut("/s/", "a", "", err));
    EXPECT_EQ(err, "Error Msg: Error during FTP Put operation.\r\nProcedure: FTPPut\r\n\r\nError Source: FTP Class");
}

TEST(FtpCommands, PutAllMatchesAnyCaseAndStopsAtFirstFailure)
{
    QTemporaryDir dir;
    for (const char *name : {"index.HTM", "logo.gif", "page.html", "Zeta.htm"}) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QDir(dir.path()).mkdir("sub.htm");
    const QString local = dir.path() + "/";

    Client c;
    QString err;
    EXPECT_TRUE(c.ftp.FTPPutAll(local, "htm", "www", err));
    EXPECT_EQ(c.ctl->commands, QStringList({"Put \"" + local + "index.HTM\" www/index.HTM",
                                             "Put \"" + local + "page.html\" www/page.html",
                                             "Put \"" + local + "Zeta.htm\" www/Zeta.htm"}));

    c.ctl->commands.clear();
    c.ctl->replies["Put \"" + local + "logo.gif\" ./logo.gif"] = {platform::kServerRefused, kRefusal, {}};
    EXPECT_FALSE(c.ftp.FTPPutAll(local, "", "", err));
    EXPECT_EQ(c.ctl->commands.size(), 2);
    EXPECT_TRUE(err.contains("Procedure: FTPPut\r\n"));

    EXPECT_FALSE(c.ftp.FTPPutAll(local, "nothing", "", err));
    EXPECT_EQ(err, "No files found.");

    // A local folder that does not exist: the pending error fills the last lines.
    EXPECT_FALSE(c.ftp.FTPPutAll(local + "gone/", "", "", err));
    EXPECT_EQ(err, "Error Msg: Error during FTP Put operation.\r\nProcedure: FTPPutAll\r\nError Number: 76\r\n"
                   "Error Source: FTP Class\r\nDescription: Path not found: " + local + "gone/");
}

TEST(FtpCommands, GetAllRequestsListedNames)
{
    Client c;
    QString err;
    c.ctl->replies["Dir"] = {0, {}, QByteArray("index.htm\r\nlogo.gif\r\nAbout.HTM\r\n")};
    EXPECT_TRUE(c.ftp.FTPGetAll("/dl", "HTM", "www", err));
    EXPECT_EQ(c.ctl->commands,
              QStringList({"CD www", "Dir", "Get index.htm \"/dl/index.htm\"", "Get About.HTM \"/dl/About.HTM\""}));

    // A long listing read in several pieces, the last line without a break.
    c.ctl->commands.clear();
    QByteArray many;
    for (int i = 0; i < 40; ++i)
        many += "file_number_" + QByteArray::number(i) + ".txt\r\n";
    c.ctl->replies["Dir"] = {0, {}, many + "last.txt"};
    EXPECT_TRUE(c.ftp.FTPGetAll("/dl", "", "www", err));
    EXPECT_EQ(c.ctl->commands.size(), 2 + 41);
    EXPECT_EQ(c.ctl->commands.last(), "Get last.txt \"/dl/last.txt\"");

    c.ctl->replies["Dir"] = {0, {}, {}};
    EXPECT_FALSE(c.ftp.FTPGetAll("/dl", "", "www", err));
    EXPECT_EQ(err, "No files found.");

    c.ctl->replies["CD gone"] = {platform::kServerRefused, kRefusal, {}};
    EXPECT_FALSE(c.ftp.FTPGetAll("/dl", "", "gone", err));
    EXPECT_EQ(err, "Error Msg: " + kRefusal + "\r\nProcedure: FTPGetAll\r\n\r\nError Source: FTP Class");
}
