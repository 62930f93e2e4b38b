#pragma once
// The FTP client: each step is one text command executed by a transport; every
// operation but FTPClose waits for its command, returns true on success and hands
// back a multi-line error report through error on failure (untouched on success).

#include "publish/transport/Transport.h"

#include <QString>
#include <functional>
#include <memory>

namespace publish {

class FTP {
public:
    // Without a transport the client makes its own libcurl one.
    explicit FTP(std::unique_ptr<transport::Transport> transport = nullptr);
    ~FTP();
    FTP(const FTP &) = delete;
    FTP &operator=(const FTP &) = delete;

    bool FTPInit(const QString &url, const QString &userName, const QString &password, qint16 timeout,
                 quint16 remotePort, const QString &proxy, QString &error);
    bool FTPChangeRemoteFolder(const QString &remoteFolder, QString &error);
    bool FTPCreateRemoteFolder(const QString &remoteFolder, QString &error);
    // localFolder ends with the separator; an empty remoteFolder means the current remote directory.
    bool FTPPut(const QString &localFolder, const QString &fileName, const QString &remoteFolder,
                QString &error);
    // Every file of localFolder (not subfolders) whose name contains namePart, any case.
    bool FTPPutAll(const QString &localFolder, const QString &namePart, const QString &remoteFolder,
                   QString &error);
    bool FTPGet(const QString &localFolder, const QString &fileName, const QString &remoteFolder,
                QString &error, bool specifyFolder = false);
    bool FTPGetAll(const QString &localFolder, const QString &namePart, const QString &remoteFolder,
                   QString &error);
    void FTPClose();

    // Progress lines; each replaces the whole text of the status box.
    void setStatusSink(std::function<void(const QString &)> sink) { m_status = std::move(sink); }
    // Bytes of the file being sent.
    void setProgressSink(std::function<void(qint64 done, qint64 total)> sink);
    // Called after each put with the local path and whether it arrived.
    void setFileSentSink(std::function<void(const QString &localPath, bool ok)> sink)
    {
        m_fileSent = std::move(sink);
    }

    // Called once each command has gone to the transport, before waiting for it.
    void setCommandStartedSink(std::function<void()> sink) { m_started = std::move(sink); }

    // Sends `command` now; the next call that runs the same command waits for this
    // answer rather than sending it again, so the server answers meanwhile.
    void startAhead(const QString &command);

    transport::Transport &transport() { return *m_ctl; }

private:
    // A failure that did not come from the server's answer (a missing local
    // folder, an unreadable file): it fills lines 3 to 5 of the report.
    struct PendingError {
        int number = 0;
        QString source;
        QString description;
    };

    void WaitWhileBusy();
    QString fFormatError(const QString &message, const QString &procedure, const QString &detail) const;
    bool fGetFileList(const QString &localFolder, const QString &pattern, QString listingText,
                      const QString &remoteFolder, QString &error);
    // Executes and waits; false when the transport reports a nonzero code.
    bool run(const QString &command);
    QString failureText(const QString &fixedMessage) const;
    void status(const QString &text);

    std::unique_ptr<transport::Transport> m_ctl;
    std::function<void(const QString &)> m_status;
    std::function<void(const QString &, bool)> m_fileSent;
    std::function<void()> m_started;
    QString m_ahead; // the command sent by startAhead whose answer no call took yet
    PendingError m_err;
};

// The message FTPPutAll and FTPGetAll give when nothing matched.
inline const QString kNoFilesFound = QStringLiteral("No files found.");

} // namespace publish
