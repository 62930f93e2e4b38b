// Publishing a site of 300 files of 20 KB in 5 folders to local FTP servers
// (pyftpdlib, and vsftpd where it starts), side by side with curl and lftp:
//  - first publish: the engine, `curl -P - -T "{...}"` (active mode, one connection,
//    every folder's files in one command line) and `lftp -e 'mirror -R'`;
//  - the unchanged site again: the engine and `lftp -e 'mirror -R --only-newer'`;
//  - one changed file: the engine (the "sent" counter must read 1).
// Argument 0 is pyftpdlib, 1 is vsftpd. Each case reports the median of 5 runs.
#include "publish/UploadEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

constexpr int kFolders = 5;
constexpr int kFilesPerFolder = 60;
constexpr int kFileSize = 20 * 1024;

struct Server {
    QTemporaryDir remote;
    QProcess process;
    int port = 0;
    QString user, password, why;

    Server(const QString &script, const QString &u, const QString &p) : user(u), password(p)
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start("/usr/bin/python3", {script, "--root", remote.path()});
        while (port == 0 && process.waitForReadyRead(15000)) {
            while (process.canReadLine()) {
                const QByteArray line = process.readLine();
                if (line.startsWith("READY "))
                    port = line.mid(6).trimmed().toInt();
                else if (line.startsWith("SKIP "))
                    why = QString::fromLocal8Bit(line.mid(5).trimmed());
            }
            if (!why.isEmpty())
                break;
        }
        if (port == 0 && why.isEmpty())
            why = "the server did not start";
    }
    ~Server()
    {
        process.kill();
        process.waitForFinished(3000);
    }
    QString url() const { return QString("ftp://127.0.0.1:%1/").arg(port); }
    QString login() const { return user + ":" + password; }
};

struct Site {
    QTemporaryDir local, data;
    std::unique_ptr<Server> servers[2];
    int run = 0;

    Site()
    {
        QByteArray bytes(kFileSize, 'q');
        for (int d = 0; d < kFolders; ++d) {
            QDir(local.path()).mkdir(QString("folder%1").arg(d));
            for (int f = 0; f < kFilesPerFolder; ++f) {
                QFile file(local.filePath(QString("folder%1/file%2.htm").arg(d).arg(f)));
                file.open(QIODevice::WriteOnly);
                bytes[0] = char(f);
                bytes[1] = char(d);
                file.write(bytes);
            }
        }
        servers[0] = std::make_unique<Server>(QUILLMARK_FTP_SERVER_SCRIPT, "user", "secret");
        servers[1] = std::make_unique<Server>(QUILLMARK_VSFTPD_SCRIPT, "anonymous", "bench");
    }
    QString folder(int d) const { return local.filePath(QString("folder%1").arg(d)); }
    QString next(const char *what) { return QString("%1%2").arg(what).arg(++run); }
};

Site &site()
{
    static Site s;
    return s;
}

Server *serverFor(benchmark::State &state)
{
    Server *server = site().servers[state.range(0)].get();
    if (server->port == 0) {
        state.SkipWithError(("skipped: " + server->why).toLocal8Bit().constData());
        return nullptr;
    }
    return server;
}

publish::Summary publishTo(Server &server, const QString &remoteFolder, const QString &manifests)
{
    publish::Target t;
    t.host = "127.0.0.1";
    t.port = server.port;
    t.user = server.user;
    t.password = server.password;
    t.remoteFolder = remoteFolder;
    publish::Options o;
    o.manifestFolder = manifests;
    publish::UploadEngine engine;
    QDir(server.remote.path()).mkpath(remoteFolder);
    return engine.run({{site().local.path(), true}}, t, o);
}

bool runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, args);
    return p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool lftpMirror(Server &server, const QString &remoteFolder, bool onlyNewer)
{
    const QString mirror = QString("set ftp:ssl-allow no; set net:max-retries 1; mirror -R %1 %2 %3; quit")
                               .arg(onlyNewer ? "--only-newer" : "", site().local.path(), remoteFolder);
    return runTool("lftp", {"-u", server.user + "," + server.password, "-e", mirror, server.url()});
}

void BM_EngineFirstPublish(benchmark::State &state)
{
    Server *server = serverFor(state);
    if (!server)
        return;
    for (auto _ : state) {
        const QString run = site().next("engine");
        const publish::Summary s = publishTo(*server, run, site().data.filePath(run));
        if (s.sent != kFolders * kFilesPerFolder)
            state.SkipWithError(("engine failed: " + s.error).toLocal8Bit().constData());
    }
}

void BM_CurlFirstPublish(benchmark::State &state)
{
    Server *server = serverFor(state);
    if (!server)
        return;
    for (auto _ : state) {
        const QString run = site().next("curl");
        QStringList args{"-s", "-S", "-P", "-", "-u", server->login(), "--ftp-create-dirs"};
        for (int d = 0; d < kFolders; ++d) {
            QStringList names;
            for (int f = 0; f < kFilesPerFolder; ++f)
                names << site().folder(d) + QString("/file%1.htm").arg(f);
            args << "-T"
                 << "{" + names.join(',') + "}" << server->url() + run + QString("/folder%1/").arg(d);
        }
        if (!runTool("curl", args))
            state.SkipWithError("curl failed");
    }
}

void BM_LftpFirstPublish(benchmark::State &state)
{
    Server *server = serverFor(state);
    if (!server)
        return;
    for (auto _ : state) {
        if (!lftpMirror(*server, site().next("lftp"), false))
            state.SkipWithError("lftp failed");
    }
}

void BM_EngineUnchanged(benchmark::State &state)
{
    Server *server = serverFor(state);
    if (!server)
        return;
    const QString run = site().next("same");
    publishTo(*server, run, site().data.filePath(run));
    publish::Summary s;
    for (auto _ : state)
        s = publishTo(*server, run, site().data.filePath(run));
    state.counters["sent"] = s.sent;
}

void BM_LftpUnchanged(benchmark::State &state)
{
    Server *server = serverFor(state);
    if (!server)
        return;
    const QString run = site().next("lftpsame");
    lftpMirror(*server, run, false);
    for (auto _ : state) {
        if (!lftpMirror(*server, run, true))
            state.SkipWithError("lftp failed");
    }
}

void BM_EngineOneChanged(benchmark::State &state)
{
    Server *server = serverFor(state);
    if (!server)
        return;
    const QString run = site().next("one");
    publishTo(*server, run, site().data.filePath(run));
    const QString changed = site().folder(2) + "/file7.htm";
    publish::Summary s;
    static int round = 0; // across repetitions, so each one changes the file
    for (auto _ : state) {
        state.PauseTiming();
        QFile f(changed);
        f.open(QIODevice::ReadWrite);
        f.seek(100);
        f.write(QByteArray::number(++round).rightJustified(8, '0'));
        f.close();
        state.ResumeTiming();
        s = publishTo(*server, run, site().data.filePath(run));
    }
    state.counters["sent"] = s.sent;
}

#define PUBLISH_BENCH(fn)                                                                                    \
    BENCHMARK(fn)                                                                                            \
        ->Arg(0)                                                                                             \
        ->Arg(1)                                                                                             \
        ->Unit(benchmark::kMillisecond)                                                                      \
        ->UseRealTime()                                                                                      \
        ->Iterations(1)                                                                                      \
        ->Repetitions(5)                                                                                     \
        ->ReportAggregatesOnly(true)

PUBLISH_BENCH(BM_EngineFirstPublish);
PUBLISH_BENCH(BM_CurlFirstPublish);
PUBLISH_BENCH(BM_LftpFirstPublish);
PUBLISH_BENCH(BM_EngineUnchanged);
PUBLISH_BENCH(BM_LftpUnchanged);
PUBLISH_BENCH(BM_EngineOneChanged);

} // namespace
