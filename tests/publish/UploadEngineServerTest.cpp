// The engine and the client against real servers on 127.0.0.1: pyftpdlib (plain
// and TLS), paramiko SFTP, vsftpd, and a hostile server of our own.

#include "FtpServerFixture.h"
#include "publish/FTP.h"
#include "publish/UploadEngine.h"
#include "publish/transport/CurlTransport.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>

using namespace publish;
using namespace publish_testing;
using testing_support::readAll;

namespace {

const QString kBlankName = QStringLiteral("page .htm");
const QString kQuoteName = QStringLiteral("say \"hi\" .txt");

struct LocalSite {
    QTemporaryDir dir, data;
    QVector<Row> rows;
    LocalSite()
    {
        for (int f = 0; f < 3; ++f) {
            for (int i = 0; i < 4; ++i)
                makeFile(dir.filePath(QString("site/f%1/file%2.gif").arg(f).arg(i)),
                         sample(2000 + i * 700, f * 10 + i));
        }
        makeFile(dir.filePath("site/index.htm"), sample(5000, 99));
        makeFile(dir.filePath("site/" + kBlankName), "blank");
        makeFile(dir.filePath("site/page.htm"), "plain");
        makeFile(dir.filePath("other/" + kQuoteName), "quoted");
        rows = {{dir.filePath("site"), true}, {dir.filePath("other/" + kQuoteName)}};
    }
    Options options() const
    {
        Options o;
        o.manifestFolder = data.filePath("manifests");
        o.timeoutSeconds = 10;
        return o;
    }
};

// Publishes twice: the server then holds exactly the site, and the second run sends
// nothing; a file truncated on the server is sent again; a missing remote folder is made.
void publishTwice(const Target &target, const QString &serverFolder)
{
    LocalSite site;
    UploadEngine engine;
    QStringList lines;
    QObject::connect(&engine, &UploadEngine::status, [&](const QString &l) { lines << l; });
    const bool missing = !QFileInfo::exists(serverFolder);
    Summary first = engine.run(site.rows, target, site.options());
    ASSERT_TRUE(first.error.isEmpty()) << first.error.toStdString();
    // Connections that logged in before the remote folder was made still send.
    EXPECT_TRUE(lines.filter("would not take one more connection").isEmpty())
        << lines.join('\n').toStdString();
    ASSERT_EQ(first.failed, 0) << first.files[0].error.toStdString();
    EXPECT_EQ(first.sent, 16);
    EXPECT_EQ(first.createdFolders, missing ? QStringList{target.remoteFolder} : QStringList());

    auto expected = tree(site.dir.filePath("site"));
    expected[kQuoteName] = "quoted";
    EXPECT_EQ(tree(serverFolder), expected);

    Summary second = engine.run(site.rows, target, site.options());
    EXPECT_TRUE(second.error.isEmpty()) << second.error.toStdString();
    EXPECT_EQ(second.sent, 0);
    EXPECT_EQ(second.unchanged, 16);

    QFile::resize(serverFolder + "/f1/file2.gif", 10);
    QFile::remove(serverFolder + "/" + kBlankName);
    Summary third = engine.run(site.rows, target, site.options());
    EXPECT_EQ(third.sent, 2);
    EXPECT_EQ(tree(serverFolder), expected);
}

Target ftpTarget(int port, const QString &folder = "www")
{
    Target t;
    t.host = "127.0.0.1";
    t.port = port;
    t.user = "user";
    t.password = "secret";
    t.remoteFolder = folder;
    return t;
}

// A transport set to log in to a test server on this machine.
void logIn(transport::Transport &t, int port, const QString &url = "127.0.0.1")
{
    t.URL = url;
    t.RemotePort = port;
    t.UserName = "user";
    t.Password = "secret";
}

// Runs one command to its end; its response code.
int execute(transport::Transport &t, const QString &command)
{
    t.Execute(command);
    while (t.StillExecuting())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return t.ResponseCode();
}

} // namespace

TEST(UploadEngineServers, PyftpdlibPlainAndTls)
{
    FtpServer plain, tls;
    // A server that allows active mode only, and a remote folder it lacks.
    ASSERT_TRUE(plain.start({"--active-only"}));
    // TLS asked for and not offered: nothing goes, the password least of all.
    Target clear = ftpTarget(plain.port(), "www/new");
    clear.protocol = Protocol::FtpTls;
    const Summary refused = UploadEngine().run(LocalSite().rows, clear, LocalSite().options());
    EXPECT_FALSE(refused.error.isEmpty());
    EXPECT_EQ(refused.sent, 0);
    EXPECT_EQ(plain.logins(), 0) << "the password went in clear";

    Target active = ftpTarget(plain.port(), "www/new");
    active.activeMode = true;
    publishTwice(active, plain.path("www/new"));
    EXPECT_EQ(plain.logins(), 3) << "active mode keeps to one connection";
    active.activeMode = false;
    EXPECT_EQ(UploadEngine().run(LocalSite().rows, active, LocalSite().options()).failed, 16);

    ASSERT_TRUE(tls.start({}, true));
    ASSERT_TRUE(QDir(tls.root.path()).mkdir("www"));
    Target t = ftpTarget(tls.port());
    t.protocol = Protocol::FtpTls;
    t.caCertificates = tls.certs.filePath("cert.pem");
    publishTwice(t, tls.path("www"));
}

// What arrives is what was hashed (and what the manifest and the version then name):
// a file saved again after it was read, before it goes, arrives as it was read.
TEST(UploadEngineServers, WhatIsSentIsWhatWasHashed)
{
    FtpServer server;
    ASSERT_TRUE(server.start({}));
    LocalSite site;
    const QString changed = site.dir.filePath("site/f0/file0.gif");
    const QByteArray read = readAll(changed), saved(read.size(), 'x');
    Options options = site.options();
    options.readAll = [&] { makeFile(changed, saved); };
    const Summary first = UploadEngine().run(site.rows, ftpTarget(server.port()), options);
    ASSERT_EQ(first.failed, 0);
    EXPECT_EQ(readAll(server.path("www/f0/file0.gif")), read);
    // The next publish finds it changed and sends it as it is now.
    options.readAll = nullptr;
    const Summary second = UploadEngine().run(site.rows, ftpTarget(server.port()), options);
    EXPECT_EQ(second.sent, 1);
    EXPECT_EQ(readAll(server.path("www/f0/file0.gif")), saved);
}

// A command queued on a connection runs right after the one under way, only if that
// one went well, and never once withdrawn in time.
TEST(UploadEngineServers, QueuedCommandFollowsOnlyASuccess)
{
    FtpServer server;
    ASSERT_TRUE(server.start({"--slow-uploads"})); // so that nothing ends before it is queued
    ASSERT_TRUE(QDir(server.root.path()).mkdir("dir"));
    QTemporaryDir local;
    const QString big = local.filePath("big"), small = local.filePath("small"), sep(QChar(0));
    ASSERT_TRUE(makeFile(big, sample(256 << 10, 5))); // held for a second
    ASSERT_TRUE(makeFile(small, "next"));
    transport::CurlTransport ctl;
    logIn(ctl, server.port());
    struct Case {
        QString first; // the send under way; renamed onto a folder, it fails
        bool withdraw, runs;
    };
    int n = 0;
    for (const Case &c :
         {Case{"a", false, true}, Case{"t" + sep + "dir", false, false}, Case{"b", true, false}}) {
        const QString next = QString("next%1").arg(++n);
        ctl.Execute("Put" + sep + big + sep + c.first);
        ASSERT_TRUE(ctl.ExecuteNext("Put" + sep + small + sep + next));
        EXPECT_EQ(c.withdraw && ctl.WithdrawNext(), c.withdraw);
        while (ctl.StillExecuting())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_EQ(ctl.ResponseCode() == 0, c.first != "t" + sep + "dir") << ctl.ResponseInfo().toStdString();
        ASSERT_EQ(ctl.TakeNext(), c.runs) << n;
        while (ctl.StillExecuting())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_EQ(QFileInfo::exists(server.path(next)), c.runs) << n;
    }
    // A connection closed while a file is under way sends nothing queued after it.
    auto closed = std::make_unique<transport::CurlTransport>();
    static_cast<transport::Transport &>(*closed) = static_cast<const transport::Transport &>(ctl);
    closed->Execute("Put" + sep + big + sep + "c");
    ASSERT_TRUE(closed->ExecuteNext("Put" + sep + small + sep + "never"));
    closed.reset();
    EXPECT_TRUE(QFileInfo::exists(server.path("c")));
    EXPECT_FALSE(QFileInfo::exists(server.path("never")));
}

// A server that answers "421" past two connections gets two, and the publish goes on.
TEST(UploadEngineServers, TooManyConnectionsCostAConnectionNotThePublish)
{
    FtpServer server;
    ASSERT_TRUE(server.start({"--max-cons-per-ip", "2"}));
    ASSERT_TRUE(QDir(server.root.path()).mkdir("www"));
    LocalSite site;
    Options o = site.options();
    o.connections = 4;
    UploadEngine engine;
    QStringList lines;
    QObject::connect(&engine, &UploadEngine::status, [&](const QString &l) { lines << l; });
    const Summary s = engine.run(site.rows, ftpTarget(server.port()), o);
    EXPECT_TRUE(s.error.isEmpty()) << s.error.toStdString();
    EXPECT_EQ(s.sent, 16);
    auto expected = tree(site.dir.filePath("site"));
    expected[kQuoteName] = "quoted";
    EXPECT_EQ(tree(server.path("www")), expected);
    EXPECT_EQ(
        lines.filter(QRegularExpression("^The server would not take one more connection \\(421 ")).size(), 2)
        << lines.join('\n').toStdString();
    // The run's own connection logs in first; should the others get in before it, they
    // make way and it tries once more.
    EXPECT_TRUE(server.logins() == 2 || server.logins() == 4) << server.logins();

    // Full at the first login (a run killed a moment ago still counted): asked again.
    std::vector<std::unique_ptr<QTcpSocket>> held;
    for (int i = 0; i < 2; ++i) {
        held.push_back(std::make_unique<QTcpSocket>());
        held.back()->connectToHost(QHostAddress::LocalHost, quint16(server.port()));
        ASSERT_TRUE(held.back()->waitForReadyRead(5000)); // its greeting: counted
    }
    QTimer::singleShot(200, [&] { held.clear(); });
    lines.clear();
    const Summary again = engine.run(site.rows, ftpTarget(server.port()), o);
    EXPECT_TRUE(again.error.isEmpty()) << again.error.toStdString();
    EXPECT_EQ(
        lines.filter(QRegularExpression("^The server has no room for another connection yet \\(421 ")).size(),
        1)
        << lines.join('\n').toStdString();
}

// One connection: refusals, then a tree up and listed files down.
TEST(UploadEngineServers, FtpRefusalsAreReportedAndFilesStillTravelOverOneConnection)
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

// Unknown host keys and a wrong password are refused; then a tree goes up and
// comes back down over one connection, and the engine publishes over it.
TEST(UploadEngineServers, SftpTrustsOnlyKnownHostsAndCarriesFilesIntact)
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

    // The engine over the same server: publishes twice into a folder of its own.
    Target t = ftpTarget(server.port(), "site/deep");
    t.protocol = Protocol::Sftp;
    publishTwice(t, root.filePath("site/deep"));
    // Where the server renames nothing, that is found out before any file replaces a live one.
    t.remoteFolder = "fixed";
    ASSERT_TRUE(makeFile(root.filePath("fixed/index.htm"), "live"));
    const LocalSite site;
    const Summary fixed = UploadEngine().run(site.rows, t, site.options());
    EXPECT_TRUE(fixed.renameRefused) << fixed.error.toStdString();
    EXPECT_EQ(readAll(root.filePath("fixed/index.htm")), "live");
    // Nor does it delete there: a refused removal is told, not taken for done.
    transport::CurlTransport sftp;
    logIn(sftp, server.port(), "sftp://127.0.0.1");
    EXPECT_EQ(execute(sftp, "Delete" + QString(QChar(0)) + "fixed/index.htm"), transport::kServerRefused);
    EXPECT_TRUE(QFile::exists(root.filePath("fixed/index.htm")));
}

TEST(UploadEngineServers, Vsftpd)
{
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkdir("www"));
    testing_support::ServerProcess server(
        testing_support::systemPython(),
        {testing_support::sourceDir() + "/tests/publish/vsftpd_server.py", "--root", root.path()});
    if (!server.start(15000))
        GTEST_SKIP() << "vsftpd did not start: " << server.output().toStdString();
    Target t = ftpTarget(server.port());
    t.user = "anonymous";
    t.password = "";
    publishTwice(t, root.filePath("www"));
}

// Blanks at either end of a remote name and double quotes in a local path reach
// the server as they are, through the client's own command texts.
TEST(UploadEngineServers, NamesAreSentExactly)
{
    FtpServer server;
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(makeFile(server.path("page.htm"), "original"));
    QTemporaryDir local;
    ASSERT_TRUE(makeFile(local.filePath("page.htm "), "blank"));
    ASSERT_TRUE(makeFile(local.filePath("a\"b\" c.htm"), "quote"));
    ASSERT_TRUE(makeFile(local.filePath("a"), "decoy"));
    FTP ftp;
    QString err;
    ftp.FTPInit("127.0.0.1", "user", "secret", 10, quint16(server.port()), "", err);
    EXPECT_TRUE(ftp.FTPPut(local.path() + "/", "page.htm ", "", err)) << err.toStdString();
    EXPECT_TRUE(ftp.FTPPut(local.path() + "/", "a\"b\" c.htm", "", err)) << err.toStdString();
    EXPECT_TRUE(ftp.FTPCreateRemoteFolder("dir ", err));
    EXPECT_TRUE(ftp.FTPChangeRemoteFolder("dir ", err)) << err.toStdString();
    EXPECT_TRUE(ftp.FTPPut(local.path() + "/", "a", "", err)) << err.toStdString();
    EXPECT_TRUE(ftp.FTPGet(local.path(), "a\"b\" c.htm", "/", err, true)) << err.toStdString();
    EXPECT_TRUE(err.isEmpty());
    ftp.FTPClose();
    EXPECT_EQ(readAll(server.path("page.htm")), "original");
    EXPECT_EQ(readAll(server.path("page.htm ")), "blank");
    EXPECT_EQ(readAll(server.path("a\"b\" c.htm")), "quote");
    EXPECT_EQ(readAll(server.path("dir /a")), "decoy");
    EXPECT_FALSE(QFile::exists(server.path("dir")));
}

// The hostile server of tests/publish/hostile_ftp_server.py with a client logged in.
struct HostileServer {
    testing_support::ServerProcess server;
    FTP ftp;
    QString err;
    bool started;
    HostileServer(const QStringList &mode, int timeoutSeconds)
        : server(testing_support::systemPython(),
                 QStringList{testing_support::sourceDir() + "/tests/publish/hostile_ftp_server.py"} + mode),
          started(server.start())
    {
        ftp.FTPInit("127.0.0.1", "u", "p", timeoutSeconds, quint16(started ? server.port() : 9), "", err);
    }
};

// A server that lists "../" names, absolute names, quotes and control characters,
// or sends without end: nothing is written outside the folder, and the failure is
// reported within the limits.
TEST(UploadEngineServers, HostileServerCannotWriteOutsideOrHoldTheProgram)
{
    QTemporaryDir top;
    const QString down = top.filePath("a/b/down");
    ASSERT_TRUE(QDir().mkpath(down));
    {
        HostileServer h({}, 10);
        ASSERT_TRUE(h.started);
        EXPECT_FALSE(h.ftp.FTPGetAll(down, "", "/", h.err));
        EXPECT_TRUE(h.err.startsWith("Error Msg: The name \"../../escaped.txt\" was refused"))
            << h.err.toStdString();
        h.ftp.FTPClose();
        EXPECT_EQ(tree(top.path()), (std::map<QString, QByteArray>{{"a/b/down/good.txt", "payload"},
                                                                   {"a/b/down/quote\".txt", "payload"}}));
        EXPECT_FALSE(QFile::exists("/tmp/absolute.txt"));
        EXPECT_FALSE(QFile::exists("quote\".txt"));
    }
    {
        // Stopped at the listing's cap, long before its time is out.
        HostileServer h({"--endless-listing"}, 10);
        ASSERT_TRUE(h.started);
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(h.ftp.FTPGetAll(down, "", "/", h.err));
        EXPECT_LT(clock.elapsed(), 15000);
        EXPECT_TRUE(h.err.contains("sent more than 67108864 bytes")) << h.err.toStdString();

        LocalSite site;
        Options o = site.options();
        o.timeoutSeconds = 10;
        const Summary s = UploadEngine().run(site.rows, ftpTarget(h.server.port(), ""), o);
        EXPECT_TRUE(s.error.startsWith("The server 127.0.0.1 sent far more than expected"))
            << s.error.toStdString();
        EXPECT_EQ(s.sent, 0);
    }
    HostileServer h({"--endless-file"}, 10);
    ASSERT_TRUE(h.started);
    h.ftp.transport().MaxDownloadBytes = 4 << 20;
    EXPECT_FALSE(h.ftp.FTPGet(down, "big.bin", "", h.err));
    EXPECT_TRUE(h.err.contains("more than 4194304 bytes")) << h.err.toStdString();
    h.ftp.transport().MaxDownloadBytes = 0;
    h.ftp.transport().TransferTimeLimit = 1;
    EXPECT_FALSE(h.ftp.FTPGet(down, "big.bin", "", h.err));
    EXPECT_TRUE(h.err.contains("did not end within 1 seconds")) << h.err.toStdString();
    EXPECT_FALSE(QFile::exists(down + "/big.bin")) << "no partial file is left";
}

// Another account on the same server logs in afresh, rather than being served on the
// connection of the one before; a named proxy is the way to the server.
TEST(UploadEngineServers, EachCommandGoesAsItsSettingsSay)
{
    FtpServer server;
    ASSERT_TRUE(server.start({}));
    transport::CurlTransport t;
    logIn(t, server.port());
    EXPECT_EQ(execute(t, "Dir"), transport::kTransportOk) << t.ResponseInfo().toStdString();
    t.UserName = "intruder";
    EXPECT_EQ(execute(t, "Dir"), transport::kTransportLoginFailed) << t.ResponseInfo().toStdString();
    t.UserName = "user";
    t.AccessType = transport::kAccessNamedProxy;
    t.Proxy = "127.0.0.1:9"; // nothing listens there
    EXPECT_EQ(execute(t, "Dir"), transport::kTransportCannotConnect) << t.ResponseInfo().toStdString();
}

// Servers that hold the client without failing: silent after the login, a listing or
// a file whose bytes stop coming, a listing that trickles. Each command gives up once
// its time is out, rather than waiting as long as the server likes.
TEST(UploadEngineServers, ServersThatHoldTheClientAreGivenUpOn)
{
    QTemporaryDir down;
    const QString get = "Get good.txt \"" + down.filePath("good.txt") + '"';
    const std::pair<QString, QString> cases[] = {
        {"--mute", "CD sub"}, {"--stall", "Dir"}, {"--stall", get}, {"--trickle", "Dir"}};
    for (const auto &[mode, command] : cases) {
        testing_support::ServerProcess server(
            testing_support::systemPython(),
            {testing_support::sourceDir() + "/tests/publish/hostile_ftp_server.py", mode});
        ASSERT_TRUE(server.start());
        transport::CurlTransport t;
        logIn(t, server.port());
        t.RequestTimeout = 1;
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(execute(t, command), transport::kTransportTimedOut)
            << mode.toStdString() << ' ' << command.toStdString() << ": " << t.ResponseInfo().toStdString();
        EXPECT_LT(clock.elapsed(), 10000) << mode.toStdString() << ' ' << command.toStdString();
    }
}

// Our own server keeping files in a folder, with MS-DOS listings and no MLSD, lying on
// purpose. Nothing it does makes a file count as sent that it does not hold, and
// nothing outside the remote folder is touched, whatever names it lists.
TEST(UploadEngineServers, LyingServersAreFoundOut)
{
    // An older site on the server: every file but one, all of other sizes but page.htm.
    const LocalSite site;
    auto local = tree(site.dir.filePath("site"));
    local[kQuoteName] = "quoted";
    std::map<QString, QByteArray> old;
    for (const auto &[name, bytes] : local)
        old[name] = name == "page.htm" ? "PLAIN" : "old";
    old.erase("f2/file3.gif");
    auto startServer = [&](QTemporaryDir &root, bool oldSite, const QStringList &flags) {
        auto server = std::make_unique<testing_support::ServerProcess>(
            testing_support::systemPython(),
            QStringList{testing_support::sourceDir() + "/tests/publish/hostile_ftp_server.py", "--root",
                        root.path(), "--log", root.filePath("log")} +
                flags);
        bool made = makeFile(root.filePath("www/.keep"), "") && makeFile(root.filePath("victim.htm"), "v");
        for (const auto &[name, bytes] : old)
            made = made && (!oldSite || makeFile(root.filePath("www/" + name), bytes));
        return made && server->start() ? std::move(server) : nullptr;
    };

    struct Case {
        QStringList flags;
        bool oldSite;
        int sent, failed;
        QString pageError; // of page.htm; its first lines when it ends in a line break
    };
    const Case cases[] = {
        {{}, false, 16, 0, ""},
        {{"--hostile-names"}, false, 16, 0, ""},
        {{"--lie-stor"}, false, 0, 16, "The server says it kept page.htm, but it holds 0 bytes of it."},
        // A full disk: every file arrives cut short under its own name, and says so.
        {{"--truncate-stor"}, false, 0, 16, "The server says it kept page.htm, but it holds 2 bytes of it."},
        {{"--empty-stor"}, false, 0, 16, "The server says it kept page.htm, but it holds 0 bytes of it."},
        // A refusal in the 400s is a refusal: told as the server put it, on a connection kept.
        {{"--full"},
         false,
         0,
         16,
         "The server refused the file page.htm.\r\nError Msg: 452 Insufficient storage space.\r\n"},
        // The new file goes straight to its name; the old page.htm has the new one's
        // size, so only the temporary left behind tells.
        {{"--lie-rnto"},
         true,
         1,
         15,
         "The server says it put page.htm in place, but the new version stayed under a temporary name."},
        // Found out before the new file reaches its name.
        {{"--no-rename"}, true, 0, 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.flags.join(' ').toStdString());
        QTemporaryDir root;
        const auto server = startServer(root, c.oldSite, c.flags);
        ASSERT_TRUE(server);
        UploadEngine engine;
        QStringList lines;
        QObject::connect(&engine, &UploadEngine::status, [&](const QString &l) { lines << l; });
        for (int run = 0; run < 2; ++run) { // the second finds the same: nothing was remembered wrongly
            const Summary s = engine.run(site.rows, ftpTarget(server->port()), site.options());
            EXPECT_EQ(s.sent, run == 0 ? c.sent : 0);
            EXPECT_EQ(s.failed, c.failed);
            EXPECT_EQ(s.unchanged, run == 1 ? c.sent : 0);
            for (const FileResult &r : s.files)
                EXPECT_TRUE(r.remote != "page.htm" || r.error == c.pageError ||
                            (c.pageError.endsWith('\n') && r.error.startsWith(c.pageError)))
                    << r.error.toStdString();
            EXPECT_EQ(s.renameRefused, c.flags == QStringList{"--no-rename"}) << s.error.toStdString();
        }
        // Nothing left under a temporary name, nor cut short but by the server that cuts.
        auto expected = c.oldSite ? old : std::map<QString, QByteArray>{};
        expected[".keep"] = "";
        for (const auto &[name, bytes] : local) {
            if (c.sent == 16 || (c.sent == 1 && name == "f2/file3.gif"))
                expected[name] = bytes;
            else if (c.flags.contains("--truncate-stor") || c.flags.contains("--empty-stor"))
                expected[name] = c.flags.contains("--empty-stor") ? "" : bytes.left(bytes.size() / 2);
        }
        EXPECT_EQ(tree(root.filePath("www")), expected);
        EXPECT_EQ(readAll(root.filePath("victim.htm")), "v");
        EXPECT_EQ(lines.filter("not a plain file name").isEmpty(), !c.flags.contains("--hostile-names"));
        // Every command that names a path stays in the remote folder; the client may
        // go back to the login folder between folders.
        const QStringList log =
            QString::fromUtf8(readAll(root.filePath("log"))).split('\n', Qt::SkipEmptyParts);
        EXPECT_FALSE(log.isEmpty());
        for (const QString &line : log)
            EXPECT_TRUE(line.section(' ', 1).startsWith("/www") || line == "CWD /") << line.toStdString();
    }
    // Once asked, the engine replaces files in place on a server that cannot rename;
    // a publish that only adds files does not ask.
    QTemporaryDir root;
    const auto server = startServer(root, false, {"--no-rename"});
    ASSERT_TRUE(server);
    UploadEngine engine;
    QStringList lines;
    int asked = 0;
    engine.setDirectConfirmation([&] { return ++asked > 0; });
    QObject::connect(&engine, &UploadEngine::status, [&](const QString &l) { lines << l; });
    EXPECT_EQ(engine.run(site.rows, ftpTarget(server->port()), site.options()).sent, 16);
    EXPECT_EQ(asked, 0);
    for (const char *name : {"index.htm", "f0/file1.gif"})
        ASSERT_TRUE(makeFile(site.dir.filePath(QString("site/") + name), local[name] = name));
    EXPECT_EQ(engine.run(site.rows, ftpTarget(server->port()), site.options()).sent, 2);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(lines.filter("refused to rename").size(), 1);
    local[".keep"] = "";
    EXPECT_EQ(tree(root.filePath("www")), local);
}
