// 300 files of 20 KB in 5 folders sent to a local FTP server, by the FTP client
// (one control connection, a folder at a time) and by `curl -T "{...}"` with every
// folder's files in one command line (one connection: the practical limit).
#include "publish/FTP.h"

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

struct Site {
    QTemporaryDir local;
    QTemporaryDir remote;
    QProcess server;
    int port = 0;
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
                file.write(bytes);
            }
        }
        server.setProcessChannelMode(QProcess::MergedChannels);
        server.start("/usr/bin/python3", {QUILLMARK_FTP_SERVER_SCRIPT, "--root", remote.path()});
        while (port == 0 && server.waitForReadyRead(10000)) {
            const QByteArray line = server.readLine();
            if (line.startsWith("READY "))
                port = line.mid(6).trimmed().toInt();
        }
    }
    ~Site()
    {
        server.terminate();
        server.waitForFinished(3000);
    }
    QString folder(int d) const { return local.filePath(QString("folder%1").arg(d)); }
};

Site &site()
{
    static Site s;
    return s;
}

void BM_FtpClientUpload(benchmark::State &state)
{
    Site &s = site();
    if (s.port == 0) {
        state.SkipWithError("the FTP server did not start");
        return;
    }
    for (auto _ : state) {
        publish::FTP ftp;
        QString err;
        const QString run = QString("client%1").arg(++s.run);
        ftp.FTPInit("127.0.0.1", "user", "secret", 30, quint16(s.port), "", err);
        bool ok = ftp.FTPCreateRemoteFolder(run, err) && ftp.FTPChangeRemoteFolder(run, err);
        for (int d = 0; ok && d < kFolders; ++d) {
            const QString name = QString("folder%1").arg(d);
            ok = ftp.FTPCreateRemoteFolder(name, err) && ftp.FTPChangeRemoteFolder(name, err) &&
                 ftp.FTPPutAll(s.folder(d) + "/", "", "", err) && ftp.FTPChangeRemoteFolder("..", err);
        }
        ftp.FTPClose();
        if (!ok)
            state.SkipWithError(err.toLocal8Bit().constData());
    }
    state.counters["files"] = kFolders * kFilesPerFolder;
}

void BM_CurlCommandLine(benchmark::State &state)
{
    Site &s = site();
    if (s.port == 0) {
        state.SkipWithError("the FTP server did not start");
        return;
    }
    for (auto _ : state) {
        const QString run = QString("curl%1").arg(++s.run);
        QStringList args{"-s", "-S", "-u", "user:secret", "--ftp-create-dirs"};
        for (int d = 0; d < kFolders; ++d) {
            QStringList names;
            for (int f = 0; f < kFilesPerFolder; ++f)
                names << s.folder(d) + QString("/file%1.htm").arg(f);
            args << "-T"
                 << "{" + names.join(',') + "}"
                 << QString("ftp://127.0.0.1:%1/%2/folder%3/").arg(s.port).arg(run).arg(d);
        }
        QProcess curl;
        curl.start("curl", args);
        curl.waitForFinished(120000);
        if (curl.exitCode() != 0)
            state.SkipWithError("curl failed");
    }
    state.counters["files"] = kFolders * kFilesPerFolder;
}

BENCHMARK(BM_FtpClientUpload)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_CurlCommandLine)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace
