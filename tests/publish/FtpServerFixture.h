#pragma once
// A pyftpdlib server on 127.0.0.1 over a temporary root, for the publish tests.

#include "common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

namespace publish_testing {

struct FtpServer {
    QTemporaryDir root;
    QTemporaryDir certs;
    std::unique_ptr<testing_support::ServerProcess> process;
    QByteArray log;

    // extra: e.g. {"--perm", "elr"}, {"--tls", dir}, {"--silent"}
    bool start(QStringList extra = {})
    {
        QStringList args{testing_support::sourceDir() + "/tests/publish/ftp_server.py", "--root",
                         root.path()};
        args << extra;
        process = std::make_unique<testing_support::ServerProcess>(testing_support::systemPython(), args);
        return process->start(20000);
    }
    bool startTls() { return start({"--tls", certs.path()}); }
    QString caFile() const { return certs.filePath("cert.pem"); }
    int port() const { return process->port(); }
    QString path(const QString &relative) const { return root.filePath(relative); }
    // Number of logins so far (each connection logs in once).
    int logins()
    {
        log += process->output();
        return int(log.count("LOGIN "));
    }
    void stop() { process->stop(); }
};

inline bool makeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Bytes that differ from file to file and include every byte value.
inline QByteArray sample(int size, int seed)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 31 + seed * 17 + (i >> 8)) & 0xff);
    return b;
}

} // namespace publish_testing
