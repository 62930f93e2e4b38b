#pragma once
// TEMPORARY: declarations of the pieces the command line uses that are being built on
// another branch (the publishing engine), with
// minimal stand-ins in ContractStubs.cpp. Each block goes away when its branch is merged
// and the command line includes the real header instead.

#include "platform/Transport.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>

namespace publish {
enum class Protocol { Ftp, FtpTls, Sftp };
struct Target {
    Protocol protocol = Protocol::Ftp;
    QString host;
    int port = 0;
    QString user, password;
    QString remoteFolder;
    QString webAddress;
};
struct Row {
    QString localPath;
    bool isFolder = false;
};
struct Options {
    bool onlyChanged = true;
    bool dryRun = false;
    bool removeUnused = false;
    int timeoutSeconds = 0;
    QString manifestFolder;
};
enum class Action { Sent, Unchanged, Failed, WouldSend };
struct FileResult {
    QString local;
    QString remote;
    Action action;
    QString error;
    qint64 bytes = 0;
};
struct Summary {
    int sent = 0, unchanged = 0, failed = 0;
    bool cancelled = false;
    QVector<FileResult> files;
    QStringList noLongerUsed;
    QString error;
};
class UploadEngine : public QObject {
    Q_OBJECT
public:
    explicit UploadEngine(std::function<std::unique_ptr<platform::Transport>()> transportFactory = {},
                          QObject *parent = nullptr);
    Summary run(const QVector<Row> &rows, const Target &target, const Options &options);
    void cancel();
signals:
    void progress(int filesDone, int filesTotal, qint64 bytesDone, qint64 bytesTotal,
                  const QString &currentFile);
    void fileDone(const publish::FileResult &result);
    void status(const QString &line);
};
Target LoadSavedTarget(const QString &ftpinfoIni);
QVector<Row> RowsForPage(const QString &pagePath);
} // namespace publish
