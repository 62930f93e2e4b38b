#pragma once
// A pyftpdlib server (user/secret) on 127.0.0.1 over a temporary root.

#include "common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

namespace publish_testing {

struct FtpServer {
    QTemporaryDir root, certs;
    std::unique_ptr<testing_support::ServerProcess> process;
    QByteArray log;

    // extra: e.g. {"--perm", "elr"}, {"--silent"}; tls: explicit TLS with a certificate in certs
    bool start(QStringList extra = {}, bool tls = false)
    {
        extra = QStringList{testing_support::sourceDir() + "/tests/publish/ftp_server.py", "--root",
                            root.path()} +
                extra;
        if (tls)
            extra << "--tls" << certs.path();
        process = std::make_unique<testing_support::ServerProcess>(testing_support::systemPython(), extra);
        return process->start(20000);
    }
    int port() const { return process->port(); }
    QString path(const QString &relative) const { return root.filePath(relative); }
    int logins() // each connection logs in once
    {
        log += process->output();
        return int(log.count("LOGIN "));
    }
};

inline bool makeFile(const QString &path, const QByteArray &bytes)
{
    return QDir().mkpath(QFileInfo(path).path()) && testing_support::writeAll(path, bytes);
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
