#pragma once
// The transfer control the FTP client drives: connection parameters set once,
// one text command executed at a time, completion polled through StillExecuting,
// a numeric outcome with a response text, and command output read in pieces.

#include <QByteArray>
#include <QString>
#include <functional>

namespace transport {

// ResponseCode values. 0 is success; kServerRefused means the server answered a
// command with a refusal, whose reply line is the ResponseInfo.
enum TransportCode : int {
    kTransportOk = 0,
    kTransportInternal = 12004, // unknown command, unusable address, other library failure
    kTransportTimedOut = 12002,
    kServerRefused = 12003,
    kTransportNameNotResolved = 12007,
    kTransportLoginFailed = 12014,
    kTransportLocalFile = 12036, // the local file of a put or get could not be read or written
    kTransportCannotConnect = 12029,
    kTransportConnectionLost = 12030,
    kTransportSecurity = 12157,      // TLS/SSH negotiation or certificate failure
    kTransportTooLarge = 12152,      // a listing or download beyond its size cap
    kTransportRenameRefused = 12006, // a file arrived, but the server refused to rename it
};

// Limits against a hostile server that sends without end.
constexpr qint64 kDefaultMaxListingBytes = qint64(64) << 20;
constexpr qint64 kDefaultMaxDownloadBytes = qint64(4) << 30;
constexpr int kDefaultTransferTimeLimit = 3600; // seconds a download may take in all

// Whether a user name or password would end the line it is sent on: a line break or a
// NUL would let what follows reach the server as commands or headers of its own.
inline bool BreaksTheLine(const QString &credential)
{
    return credential.contains(QLatin1Char('\r')) || credential.contains(QLatin1Char('\n')) ||
           credential.contains(QChar(0));
}
constexpr char kCredentialBreaksTheLine[] =
    "The %1 holds a line break or a NUL character and cannot be used.";

enum TransportProtocol : int { kProtocolDefault = 0, kProtocolHttp = 1, kProtocolFtp = 2 };
enum TransportAccess : int { kAccessDefault = 0, kAccessDirect = 1, kAccessNamedProxy = 2 };

class Transport {
public:
    virtual ~Transport() = default;

    // Connection parameters; a command takes the values current when it is executed.
    QString URL; // host, "ftp://host", "ftps://host" (explicit TLS required) or "sftp://host"
    QString UserName;
    QString Password;
    int Protocol = kProtocolDefault;
    int RequestTimeout = 60; // seconds without progress before a command gives up
    int RemotePort = 0;      // 0 = the protocol's own port
    int AccessType = kAccessDefault;
    QString Proxy;
    // Extra trust anchors (PEM file) for TLS; empty = the system's store.
    QString CaCertificates;
    // FTP data connections opened by the server (PORT/EPRT), for servers that allow no passive mode.
    bool ActiveMode = false;
    // Bytes one listing or one download may bring (0 = the defaults above), and
    // the seconds it may take in all (0 = RequestTimeout for a listing,
    // kDefaultTransferTimeLimit for a download).
    qint64 MaxListingBytes = 0;
    qint64 MaxDownloadBytes = 0;
    int TransferTimeLimit = 0;

    // Called on the caller's thread while a transfer runs: bytes moved and the
    // transfer's total (0 when unknown).
    std::function<void(qint64 done, qint64 total)> Progress;
    // Transfers smaller than this report no progress (0 = every transfer does).
    qint64 ProgressMinBytes = 0;
    // The bytes a Put sends for a local file the caller has read already (to hash
    // it): they go from memory, so what is sent is what was hashed, and the file is
    // not read again. A null array: the file is read. Called on the transport's own
    // thread, so it must only read what stays unchanged while commands run.
    std::function<QByteArray(const QString &local)> LocalBytes;

    // Commands: "CD <dir>", "Dir", "Put \"<local>\" <remote>", "Get <remote> \"<local>\"",
    // "MKDIR <dir>", "CLOSE". Names are taken as they stand, blanks included.
    // Commands whose fields are apart by NUL (no path holds one):
    //   "List\0<folder>"       the folder's listing, MLSD facts where the server
    //                           offers them, else LIST lines ("" = current folder)
    //   "Put\0<local>\0<remote>", "Rename\0<remote>\0<remote in the same folder>",
    //   "Put\0<local>\0<temporary>\0<final name>": sends, then renames in the same
    //                           folder (kTransportRenameRefused when only that fails),
    //   "Delete\0<remote>"
    // Returns at once; the command runs in the background.
    virtual void Execute(const QString &operation) = 0;
    virtual bool StillExecuting() const = 0;
    virtual int ResponseCode() const = 0;
    virtual QString ResponseInfo() const = 0;
    // The next piece (at most `size` characters) of the last command's output;
    // empty when there is no more.
    virtual QString GetChunk(int size) = 0;

    // A command to run on this connection right after the one under way, without
    // waiting for the caller, if that one succeeds. False when the transport does
    // not queue, nothing is under way, or a command is queued already.
    virtual bool ExecuteNext(const QString &operation)
    {
        (void)operation;
        return false;
    }
    // Once the command under way ended and its results were read: whether the queued
    // command started; it is then the command under way. False when it never ran
    // (the one before failed, or it was withdrawn).
    virtual bool TakeNext() { return false; }
    // Keeps the queued command from running; false when it started already.
    virtual bool WithdrawNext() { return false; }
};

} // namespace transport
