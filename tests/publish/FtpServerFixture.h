#pragma once
// A pyftpdlib server (user/secret) on 127.0.0.1 over a temporary root.

#include "common/TestSupport.h"
#include "publish/FTP.h"
#include "publish/transport/CurlTransport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace publish_testing {

struct FtpServer {
    QTemporaryDir root, certs;
    std::unique_ptr<testing_support::ServerProcess> process;
    QByteArray log;

    // extra: e.g. {"--http"}; tls: explicit TLS with a certificate in certs
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

// Every file below `root` with its bytes, by path relative to it.
inline std::map<QString, QByteArray> tree(const QString &root)
{
    std::map<QString, QByteArray> out;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        out[QDir(root).relativeFilePath(path)] = testing_support::readAll(path);
    }
    return out;
}

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

// HOME, where the transport looks for .ssh/known_hosts, in a folder of its own
// while the object lives.
struct Home {
    QTemporaryDir dir;
    const bool wasSet = qEnvironmentVariableIsSet("HOME");
    const QByteArray saved = qgetenv("HOME");

    Home() { qputenv("HOME", QFile::encodeName(dir.path())); }
    ~Home() { wasSet ? qputenv("HOME", saved) : qunsetenv("HOME"); }
    // Empty: no known_hosts at all.
    bool knows(const QByteArray &lines)
    {
        const QString file = dir.filePath(".ssh/known_hosts");
        return lines.isEmpty() ? !QFile::exists(file) || QFile::remove(file) : makeFile(file, lines);
    }
};

// A client logged in as user; scheme "ftps://" or "sftp://" picks the protocol.
inline std::unique_ptr<publish::FTP> connectClient(int port, const QString &password = "secret",
                                                   const QString &scheme = "")
{
    auto ftp = std::make_unique<publish::FTP>();
    QString err;
    ftp->FTPInit(scheme + "127.0.0.1", "user", password, 10, quint16(port), "", err);
    return ftp;
}

inline QString remoteFolder(publish::FTP &ftp)
{
    return static_cast<transport::CurlTransport &>(ftp.transport()).currentDirectory();
}

// What the clients send: a page of several transfer pieces, a name with a blank and a
// percent sign, a nested picture.
inline bool makeSendTree(const QTemporaryDir &local)
{
    return makeFile(local.filePath("index.htm"), sample(70000, 1)) &&
           makeFile(local.filePath("my logo%20.gif"), sample(3000, 2)) &&
           makeFile(local.filePath("img/deep/x.png"), sample(100, 3));
}

// Over a logged-in client: the send tree goes up into www/ with its picture folder
// named `img`, which the client tracks as it moves (relative, "..", absolute).
inline void sendTree(publish::FTP &ftp, const QTemporaryDir &local, const QString &img, const QString &root)
{
    QString err;
    qint64 lastProgress = 0;
    ftp.setProgressSink([&](qint64 done, qint64) { lastProgress = qMax(lastProgress, done); });
    EXPECT_TRUE(ftp.FTPCreateRemoteFolder("www", err));
    EXPECT_TRUE(ftp.FTPChangeRemoteFolder("www", err)) << err.toStdString();
    EXPECT_TRUE(ftp.FTPPutAll(local.path() + "/", "", "", err)) << err.toStdString();
    EXPECT_TRUE(ftp.FTPCreateRemoteFolder(img, err));
    EXPECT_TRUE(ftp.FTPCreateRemoteFolder(img + "/deep", err));
    EXPECT_TRUE(ftp.FTPChangeRemoteFolder(img + "/deep", err));
    EXPECT_TRUE(ftp.FTPChangeRemoteFolder("../..", err));
    EXPECT_EQ(remoteFolder(ftp), "www");
    EXPECT_TRUE(ftp.FTPChangeRemoteFolder("/www/" + img, err));
    EXPECT_EQ(remoteFolder(ftp), "/www/" + img);
    EXPECT_TRUE(ftp.FTPPut(local.path() + "/img/deep/", "x.png", "deep", err)) << err.toStdString();
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();
    EXPECT_EQ(testing_support::readAll(root + "/www/index.htm"), sample(70000, 1));
    EXPECT_EQ(testing_support::readAll(root + "/www/my logo%20.gif"), sample(3000, 2));
    EXPECT_EQ(testing_support::readAll(root + "/www/" + img + "/deep/x.png"), sample(100, 3));
    EXPECT_EQ(lastProgress, 70000);
    ftp.setProgressSink(nullptr); // lastProgress dies here; the client lives on
}

} // namespace publish_testing
