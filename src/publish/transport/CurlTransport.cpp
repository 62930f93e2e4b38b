#include "publish/transport/CurlTransport.h"
#include "publish/transport/FtpCommand.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QThread>
#include <QUrl>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <curl/curl.h>
#include <linux/tcp.h>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <utility>

namespace transport {

namespace {

// What one command needs, copied on the caller's thread so the worker never
// reads the transport's public fields.
struct Settings {
    QString url, user, password, proxy, caFile;
    int timeout = 60;
    int port = 0;
    int access = kAccessDefault;
    qint64 maxListing = 0, maxDownload = 0;
    int timeLimit = 0;
    qint64 progressMin = 0;
    bool progress = false; // a sink was set: reports are worth their trip to the caller's thread
    bool active = false;
    std::function<QByteArray(const QString &)> localBytes;
};

struct Outcome {
    int code = kTransportOk;
    QString info;
    QByteArray output;
};

enum class Scheme { Ftp, FtpExplicitTls, Sftp };

// A remote folder as the list of its segments, relative to the login folder
// unless absolute.
struct RemotePath {
    bool absolute = false;
    QStringList segments;

    // Applies a "CD" argument: absolute, relative, "." and "..".
    RemotePath resolved(const QString &arg) const
    {
        RemotePath r = *this;
        // Blanks belong to the names: "page " is not "page".
        const QString &a = arg;
        if (a.startsWith('/')) {
            r.absolute = true;
            r.segments.clear();
        }
        for (const QString &seg : a.split('/', Qt::SkipEmptyParts)) {
            if (seg == QLatin1String("."))
                continue;
            if (seg == QLatin1String("..") && !r.segments.isEmpty() && r.segments.last() != "..")
                r.segments.removeLast();
            else if (seg == QLatin1String("..") && r.absolute)
                continue; // ".." of the root is the root
            else
                r.segments << seg;
        }
        return r;
    }

    QString text() const { return (absolute ? "/" : "") + segments.join('/'); }
};

// Names with control characters cannot travel in an FTP command.
bool usableName(const QString &name)
{
    for (QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    }
    return true;
}

Outcome unusableName(const QString &name)
{
    return {kTransportInternal, QStringLiteral("The remote name \"%1\" cannot be used.").arg(name), {}};
}

QByteArray encodeSegments(const QStringList &segments)
{
    QByteArrayList parts;
    for (const QString &s : segments)
        parts << QUrl::toPercentEncoding(s);
    return parts.join('/');
}

} // namespace

// Owns the easy handle; runs on the transport's thread only.
class CurlWorker : public QObject {
public:
    explicit CurlWorker(CurlTransport *owner) : m_owner(owner) {}
    ~CurlWorker() override { closeHandle(); }

    void closeHandle()
    {
        if (m_curl)
            curl_easy_cleanup(m_curl);
        m_curl = nullptr;
        // The multi handle's cache holds the control connection: closing it sends QUIT.
        if (m_multi)
            curl_multi_cleanup(m_multi);
        m_multi = nullptr;
    }

    Outcome run(const QString &command, const Settings &settings);
    QString cwd() const { return m_cwd.text(); }

private:
    struct Io {
        CurlWorker *self = nullptr;
        QFile *in = nullptr;
        QByteArray bytes; // sent from memory in place of `in` when not null
        qint64 sent = 0;
        QSaveFile *out = nullptr;
        QByteArray *buffer = nullptr;
        bool writeFailed = false;
        qint64 written = 0;
        qint64 cap = 0; // bytes a listing or download may bring; 0 = no cap
        bool capExceeded = false;
        int timeLimit = 0; // seconds the whole command may take; 0 = none
    };

    bool prepare(const Settings &s, Outcome &o);
    QByteArray dirUrl(const RemotePath &p) const;
    Outcome perform(Io &io);
    CURLcode drive();
    Outcome cd(const QString &arg);
    Outcome list(const QString &folder, bool detailed);
    Outcome mkdir(const QString &arg);
    Outcome rename(const QString &from, const QString &to);
    Outcome remove(const QString &path);
    // POSTQUOTE commands on a folder; a refusal is read from the reply code.
    Outcome quote(const RemotePath &dir, const QByteArrayList &commands);
    // Performs the transfer set up so far with `commands` after it; an FTP reply of
    // 400 or more to them becomes `refused`.
    Outcome performThen(const QByteArrayList &commands, Io &io, int refused);
    bool splitRemote(const QString &remote, RemotePath &dir, QString &name) const;
    Outcome put(const QString &local, const QString &remote, const QString &renameTo = QString());
    Outcome get(const QString &remote, const QString &local);

    static size_t onHeader(char *data, size_t size, size_t n, void *user);
    static size_t onRead(char *data, size_t size, size_t n, void *user);
    static size_t onWrite(char *data, size_t size, size_t n, void *user);
    static int onProgress(void *user, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t ulTotal,
                          curl_off_t ulNow);

    CurlTransport *m_owner;
    CURL *m_curl = nullptr;
    CURLM *m_multi = nullptr;
    Scheme m_scheme = Scheme::Ftp;
    QByteArray m_base; // scheme://host[:port]
    RemotePath m_cwd;
    QByteArray m_lastReply;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    QByteArray m_user, m_password, m_proxy, m_caFile, m_knownHosts;
    int m_timeout = 60;
    int m_timeLimit = 0;
    qint64 m_maxListing = 0, m_maxDownload = 0;
    bool m_noMlsd = false; // the server refused MLSD once, or does not offer it: LIST from then on
    // Asked once a connection: whether the server offers MLSD (its FEAT names MLST).
    bool m_featAsked = false, m_readingFeat = false, m_featAnswered = false, m_offersMlst = false;
    // The login folder as the server named it (absolute), once known: URLs built on it
    // spare libcurl the change back into it before each change of folder.
    QStringList m_entry;
    Settings m_settings; // of the command under way
    int m_port = 0;
    bool m_useProxy = false;
    qint64 m_lastProgress = -1;
};

bool CurlWorker::prepare(const Settings &s, Outcome &o)
{
    if (BreaksTheLine(s.user) || BreaksTheLine(s.password)) {
        o.code = kTransportInternal;
        o.info = QString::fromLatin1(kCredentialBreaksTheLine)
                     .arg(BreaksTheLine(s.user) ? QStringLiteral("user name") : QStringLiteral("password"));
        return false;
    }
    QString text = s.url.trimmed();
    if (!text.contains(QLatin1String("://")))
        text.prepend(QLatin1String("ftp://"));
    QUrl url(text);
    QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != "ftp" && scheme != "ftps" && scheme != "sftp")) {
        o.code = kTransportInternal;
        o.info = QStringLiteral("The server address \"%1\" cannot be used.").arg(s.url);
        return false;
    }
    Scheme newScheme = scheme == "sftp"   ? Scheme::Sftp
                       : scheme == "ftps" ? Scheme::FtpExplicitTls
                                          : Scheme::Ftp;
    QByteArray base = (newScheme == Scheme::Sftp ? "sftp://" : "ftp://") + QUrl::toAce(url.host());
    if (url.host().contains(':'))
        base = (newScheme == Scheme::Sftp ? "sftp://[" : "ftp://[") + url.host().toLatin1() + "]";
    int port = s.port > 0 ? s.port : url.port(0);
    // Another server or account means another connection and a fresh directory.
    if (base != m_base || newScheme != m_scheme || port != m_port || s.user.toUtf8() != m_user) {
        closeHandle();
        m_cwd = RemotePath();
        m_noMlsd = false;
        m_featAsked = false;
        m_entry.clear();
    }
    m_scheme = newScheme;
    m_base = base;
    m_port = port;
    m_user = s.user.toUtf8();
    m_password = s.password.toUtf8();
    m_timeout = s.timeout > 0 ? s.timeout : 60;
    m_timeLimit = s.timeLimit;
    m_maxListing = s.maxListing;
    m_maxDownload = s.maxDownload;
    m_useProxy = s.access == kAccessNamedProxy && !s.proxy.isEmpty();
    m_proxy = s.proxy.toUtf8();
    m_caFile = s.caFile.toLocal8Bit();
    if (!m_curl) {
        SetUpCurl(); // here rather than in the constructor: while the caller walks the site
        m_curl = curl_easy_init();
    }
    if (!m_curl) {
        o.code = kTransportInternal;
        o.info = QStringLiteral("The transfer library could not start.");
        return false;
    }
    // Options do not carry over between commands; the connection does.
    curl_easy_reset(m_curl);
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_USERNAME, m_user.constData());
    curl_easy_setopt(m_curl, CURLOPT_PASSWORD, m_password.constData());
    if (m_port > 0)
        curl_easy_setopt(m_curl, CURLOPT_PORT, long(m_port));
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, long(m_timeout));
    curl_easy_setopt(m_curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(m_timeout));
    // A stalled data transfer gives up after the same time without progress.
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, long(m_timeout));
    if (m_useProxy)
        curl_easy_setopt(m_curl, CURLOPT_PROXY, m_proxy.constData());
    if (m_scheme == Scheme::FtpExplicitTls)
        curl_easy_setopt(m_curl, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    if (s.active && m_scheme != Scheme::Sftp)
        curl_easy_setopt(m_curl, CURLOPT_FTPPORT, "-"); // the control connection's own address
    if (m_scheme == Scheme::Sftp) {
        // Only hosts the user's ssh already knows: an unknown key fails the command.
        m_knownHosts = QFile::encodeName(QDir::homePath() + QStringLiteral("/.ssh/known_hosts"));
        curl_easy_setopt(m_curl, CURLOPT_SSH_KNOWNHOSTS, m_knownHosts.constData());
    }
    if (!m_caFile.isEmpty())
        curl_easy_setopt(m_curl, CURLOPT_CAINFO, m_caFile.constData());
    // One CWD per folder change rather than one per path segment.
    curl_easy_setopt(m_curl, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_SINGLECWD));
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, &CurlWorker::onHeader);
    curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, this);
    return true;
}

QByteArray CurlWorker::dirUrl(const RemotePath &p) const
{
    if (m_scheme != Scheme::Sftp && !p.absolute && !m_entry.isEmpty()) {
        // From the root, so libcurl's single change of folder needs no change back first.
        QByteArray path = encodeSegments(m_entry + p.segments);
        return m_base + "/%2F" + path + (path.isEmpty() ? "" : "/");
    }
    QByteArray path = encodeSegments(p.segments);
    if (!path.isEmpty())
        path += '/';
    if (m_scheme == Scheme::Sftp)
        return m_base + (p.absolute ? "/" : "/~/") + path;
    return m_base + (p.absolute ? "/%2F" : "") + "/" + path;
}

size_t CurlWorker::onHeader(char *data, size_t size, size_t n, void *user)
{
    auto *self = static_cast<CurlWorker *>(user);
    QByteArray line = QByteArray(data, qsizetype(size * n)).trimmed();
    // Keep the last server reply (a line starting with its three-digit code).
    if (line.size() >= 3 && std::isdigit(uchar(line[0])) && std::isdigit(uchar(line[1])) &&
        std::isdigit(uchar(line[2])))
        self->m_lastReply = line;
    if (self->m_readingFeat) {
        // "211-Features:", " MLST type*;size*;", "211 End"
        self->m_featAnswered = self->m_featAnswered || line.startsWith("211");
        self->m_offersMlst = self->m_offersMlst || line.toUpper().startsWith("MLST");
    }
    return size * n;
}

size_t CurlWorker::onRead(char *data, size_t size, size_t n, void *user)
{
    auto *io = static_cast<Io *>(user);
    if (!io->bytes.isNull()) {
        const qint64 got = qMin(qint64(size * n), io->bytes.size() - io->sent);
        memcpy(data, io->bytes.constData() + io->sent, size_t(got));
        io->sent += got;
        return size_t(got);
    }
    qint64 got = io->in->read(data, qint64(size * n));
    return got < 0 ? CURL_READFUNC_ABORT : size_t(got);
}

size_t CurlWorker::onWrite(char *data, size_t size, size_t n, void *user)
{
    auto *io = static_cast<Io *>(user);
    // A hostile server may send without end: past the cap the transfer stops.
    io->written += qint64(size * n);
    if (io->cap > 0 && io->written > io->cap) {
        io->capExceeded = true;
        return 0;
    }
    if (io->buffer) {
        io->buffer->append(data, qsizetype(size * n));
        return size * n;
    }
    if (io->out->write(data, qint64(size * n)) != qint64(size * n)) {
        io->writeFailed = true;
        return 0;
    }
    return size * n;
}

int CurlWorker::onProgress(void *user, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t ulTotal,
                           curl_off_t ulNow)
{
    auto *io = static_cast<Io *>(user);
    CurlWorker *self = io->self;
    qint64 done = ulNow ? qint64(ulNow) : qint64(dlNow);
    qint64 total = ulTotal ? qint64(ulTotal) : qint64(dlTotal);
    // Each report wakes the caller's thread: none without a sink, none before a byte
    // moved, none for a small transfer.
    if (!self->m_settings.progress || done == 0 || (total > 0 && total < self->m_settings.progressMin))
        return 0;
    if (done != self->m_lastProgress) {
        self->m_lastProgress = done;
        CurlTransport *owner = self->m_owner;
        // Delivered on the owner's thread; dropped if the owner is gone by then.
        QMetaObject::invokeMethod(
            owner,
            [owner, done, total] {
                if (owner->Progress)
                    owner->Progress(done, total);
            },
            Qt::QueuedConnection);
    }
    return 0;
}

namespace {

// Bytes the program has read from the socket and written to it so far; {-1, -1}
// when unknown.
std::pair<qint64, qint64> socketTraffic(curl_socket_t sock)
{
    tcp_info info{};
    socklen_t size = sizeof info;
    int waiting = 0;
    if (::getsockopt(sock, IPPROTO_TCP, TCP_INFO, &info, &size) != 0 ||
        size < offsetof(tcp_info, tcpi_bytes_sent) + sizeof info.tcpi_bytes_sent ||
        ::ioctl(sock, FIONREAD, &waiting) != 0)
        return {-1, -1};
    // Read: arrived but no longer waiting. Written: sent, or still queued.
    return {qint64(info.tcpi_bytes_received) - waiting,
            qint64(info.tcpi_bytes_sent + info.tcpi_notsent_bytes)};
}

// The one socket the multi handle waits on, when it waits for it to take more and
// for nothing else; else CURL_SOCKET_BAD. `none`: it waits on no socket at all.
curl_socket_t onlyWriting(CURLM *multi, bool &none)
{
    fd_set read, write, error;
    FD_ZERO(&read);
    FD_ZERO(&write);
    FD_ZERO(&error);
    int highest = -1;
    none = curl_multi_fdset(multi, &read, &write, &error, &highest) == CURLM_OK && highest < 0;
    if (highest < 0 || highest >= FD_SETSIZE || !FD_ISSET(highest, &write) || FD_ISSET(highest, &read))
        return CURL_SOCKET_BAD;
    for (int fd = 0; fd < highest; ++fd) {
        if (FD_ISSET(fd, &read) || FD_ISSET(fd, &write))
            return CURL_SOCKET_BAD;
    }
    return highest;
}

} // namespace

// Runs the transfer on the multi handle, sleeping until a socket or libcurl's own
// timer calls (curl_easy_perform may sleep up to a second when a passive data
// connection is not yet connected at its first check).
CURLcode CurlWorker::drive()
{
    if (!m_multi)
        m_multi = curl_multi_init();
    if (!m_multi)
        return CURLE_OUT_OF_MEMORY;
    if (curl_multi_add_handle(m_multi, m_curl) != CURLM_OK)
        return CURLE_FAILED_INIT;
    CURLcode rc = CURLE_OK;
    int running = 1;
    curl_socket_t writeOnly = CURL_SOCKET_BAD; // the socket libcurl waits on to write, and for nothing else
    int idleWait = 1;                          // ms
    bool lookedAgain = false;                  // the last turn watched no socket either
    while (running) {
        const auto before =
            writeOnly != CURL_SOCKET_BAD ? socketTraffic(writeOnly) : std::pair<qint64, qint64>(-1, -1);
        if (curl_multi_perform(m_multi, &running) != CURLM_OK) {
            rc = CURLE_FAILED_INIT;
            break;
        }
        if (!running)
            break;
        // Until a socket is ready or libcurl's next timer is due.
        long timeout = -1;
        curl_multi_timeout(m_multi, &timeout);
        if (timeout < 0 || timeout > 1000)
            timeout = 1000;
        // While an SFTP upload waits for the server's acknowledgements, libcurl waits
        // for the socket to take more, which it always can: the wait would return at
        // once, thousands of times a second. A turn that moved no byte over a socket
        // ready to take more mostly waits for the server, so this wait does too; but
        // not always (libssh2 may take more without a word from the server), so it
        // wakes after 1 ms, then after twice as long each time, up to 25 ms.
        const curl_socket_t previous = writeOnly;
        bool none = false;
        writeOnly = onlyWriting(m_multi, none);
        if (m_scheme != Scheme::Sftp)
            writeOnly = CURL_SOCKET_BAD;
        // Waiting on no socket, libcurl leaves it to us to look again soon: an FTP
        // data connection it opens on its next turn (after the passive reply, at
        // every file) is looked at again at once; anything else after 5 ms (SFTP
        // waiting for its server, say: looking at once would only wake more often).
        if (none)
            timeout = lookedAgain || m_scheme == Scheme::Sftp ? qMin<long>(timeout, 5) : 0;
        lookedAgain = none;
        if (writeOnly != CURL_SOCKET_BAD && writeOnly == previous && before.first >= 0 &&
            socketTraffic(writeOnly) == before) {
            pollfd p{writeOnly, POLLOUT, 0};
            if (::poll(&p, 1, 0) == 1 && (p.revents & POLLOUT)) {
                p = {writeOnly, POLLIN, 0};
                ::poll(&p, 1, int(qMin<long>(timeout, idleWait)));
                idleWait = qMin(idleWait * 2, 25);
                continue;
            }
        }
        idleWait = 1;
        curl_multi_poll(m_multi, nullptr, 0, int(timeout), nullptr);
    }
    int queued = 0;
    while (CURLMsg *msg = curl_multi_info_read(m_multi, &queued)) {
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == m_curl)
            rc = msg->data.result;
    }
    curl_multi_remove_handle(m_multi, m_curl);
    return rc;
}

Outcome CurlWorker::perform(Io &io)
{
    Outcome o;
    m_lastReply.clear();
    m_errorBuffer[0] = '\0';
    m_lastProgress = -1;
    io.self = this;
    curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, &CurlWorker::onProgress);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, &io);
    if (io.timeLimit > 0)
        curl_easy_setopt(m_curl, CURLOPT_TIMEOUT, long(io.timeLimit));
    else if (m_scheme == Scheme::Sftp)
        // The steps libcurl runs to their end (closing a file, a rename) wait on the
        // socket for the time left, which without a limit is none: they would spin.
        // A week stands for no limit.
        curl_easy_setopt(m_curl, CURLOPT_TIMEOUT, 7L * 24 * 3600);
    CURLcode rc = drive();
    if (rc == CURLE_OK) {
        char *entry = nullptr;
        if (m_scheme != Scheme::Sftp && m_entry.isEmpty() &&
            curl_easy_getinfo(m_curl, CURLINFO_FTP_ENTRY_PATH, &entry) == CURLE_OK && entry &&
            entry[0] == '/' && usableName(QString::fromUtf8(entry)))
            m_entry = QString::fromUtf8(entry).split('/', Qt::SkipEmptyParts);
        return o;
    }

    long reply = 0;
    curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &reply);
    QString detail = QString::fromLocal8Bit(m_errorBuffer).trimmed();
    if (detail.isEmpty())
        detail = QString::fromLatin1(curl_easy_strerror(rc));
    QString serverText = QString::fromLocal8Bit(m_lastReply);
    auto withServer = [&](const QString &what) {
        return serverText.isEmpty() ? what + " (" + detail + ")" : what + ": " + serverText;
    };
    if (io.capExceeded) {
        o.code = kTransportTooLarge;
        o.info = QStringLiteral("The server sent more than %1 bytes; the transfer was stopped.").arg(io.cap);
        closeHandle();
        return o;
    }
    if (rc == CURLE_OPERATION_TIMEDOUT && io.timeLimit > 0) {
        o.code = kTransportTimedOut;
        o.info =
            QStringLiteral("The transfer did not end within %1 seconds; it was stopped.").arg(io.timeLimit);
        closeHandle();
        return o;
    }
    // libcurl reports a "421" (the server closes the connection: too many, or idle
    // too long) as a time-out, although nothing waited.
    if (rc == CURLE_OPERATION_TIMEDOUT && m_lastReply.startsWith("421")) {
        o.code = kTransportConnectionLost;
        o.info = serverText;
        closeHandle();
        return o;
    }
    switch (rc) {
    case CURLE_LOGIN_DENIED:
        o.code = kTransportLoginFailed;
        o.info = withServer(QStringLiteral("The server refused the user name or password"));
        break;
    case CURLE_OPERATION_TIMEDOUT:
        o.code = kTransportTimedOut;
        o.info =
            QStringLiteral("The server did not answer within %1 seconds (%2).").arg(m_timeout).arg(detail);
        break;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        o.code = kTransportNameNotResolved;
        o.info = QStringLiteral("The server name could not be resolved (%1).").arg(detail);
        break;
    case CURLE_COULDNT_CONNECT:
        o.code = kTransportCannotConnect;
        o.info = QStringLiteral("Cannot connect to the server (%1).").arg(detail);
        break;
    case CURLE_READ_ERROR:
        o.code = kTransportLocalFile;
        o.info = QStringLiteral("The local file could not be read.");
        break;
    case CURLE_WRITE_ERROR:
        if (io.writeFailed) {
            o.code = kTransportLocalFile;
            o.info = QStringLiteral("The local file could not be written.");
            break;
        }
        [[fallthrough]];
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSH:
        if (rc != CURLE_WRITE_ERROR) {
            o.code = kTransportSecurity;
            o.info = QStringLiteral("The secure connection failed (%1).").arg(detail);
            break;
        }
        [[fallthrough]];
    default:
        if (reply >= 400 && !serverText.isEmpty()) {
            o.code = kServerRefused;
            o.info = serverText;
        } else if (m_scheme == Scheme::Sftp &&
                   (rc == CURLE_REMOTE_FILE_NOT_FOUND || rc == CURLE_REMOTE_ACCESS_DENIED ||
                    rc == CURLE_REMOTE_DISK_FULL || rc == CURLE_REMOTE_FILE_EXISTS ||
                    rc == CURLE_QUOTE_ERROR)) {
            // SFTP refusals carry no reply line, only these codes; the
            // connection is still fine.
            o.code = kServerRefused;
            o.info = detail;
        } else {
            o.code = kTransportConnectionLost;
            o.info = QStringLiteral("The connection to the server failed (%1).").arg(detail);
        }
    }
    // After a broken connection the next command starts a fresh one.
    if (o.code != kServerRefused && o.code != kTransportLocalFile)
        closeHandle();
    return o;
}

Outcome CurlWorker::cd(const QString &arg)
{
    if (!usableName(arg))
        return unusableName(arg);
    RemotePath target = m_cwd.resolved(arg);
    QByteArray url = dirUrl(target);
    curl_easy_setopt(m_curl, CURLOPT_URL, url.constData());
    Io io;
    QByteArray names;
    if (m_scheme == Scheme::Sftp) {
        // Without a body libcurl never opens an SFTP folder, so a missing one
        // would pass; reading its listing proves it is there.
        io.buffer = &names;
        curl_easy_setopt(m_curl, CURLOPT_DIRLISTONLY, 1L);
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &CurlWorker::onWrite);
        curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &io);
    } else {
        curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
    }
    // The first change of folder also asks what the server offers: a refused MLSD
    // would cost a data connection of its own.
    curl_slist *feat = nullptr;
    if (m_scheme != Scheme::Sftp && !m_featAsked && !m_noMlsd) {
        feat = curl_slist_append(nullptr, "*FEAT");
        curl_easy_setopt(m_curl, CURLOPT_QUOTE, feat);
        m_readingFeat = true;
        m_featAnswered = m_offersMlst = false;
    }
    Outcome o = perform(io);
    if (feat) {
        curl_easy_setopt(m_curl, CURLOPT_QUOTE, nullptr);
        curl_slist_free_all(feat);
        m_readingFeat = false;
        m_featAsked = o.code == kTransportOk;
        m_noMlsd = m_featAsked && m_featAnswered && !m_offersMlst;
    }
    if (o.code == kTransportOk)
        m_cwd = target;
    return o;
}

Outcome CurlWorker::list(const QString &folder, bool detailed)
{
    if (!usableName(folder))
        return unusableName(folder);
    QByteArray url = dirUrl(m_cwd.resolved(folder));
    QByteArray names;
    Io io;
    io.buffer = &names;
    io.cap = m_maxListing > 0 ? m_maxListing : kDefaultMaxListingBytes;
    io.timeLimit = m_timeLimit > 0 ? m_timeLimit : m_timeout;
    auto setUp = [&] {
        curl_easy_setopt(m_curl, CURLOPT_URL, url.constData());
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &CurlWorker::onWrite);
        curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &io);
    };
    setUp();
    Outcome o;
    if (!detailed) {
        curl_easy_setopt(m_curl, CURLOPT_DIRLISTONLY, 1L);
        o = perform(io);
    } else if (m_scheme == Scheme::Sftp || m_noMlsd) {
        o = perform(io);
    } else {
        // Machine-readable facts where the server offers them.
        curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, "MLSD");
        o = perform(io);
        long reply = 0;
        curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &reply);
        if (o.code == kServerRefused && (reply == 500 || reply == 501 || reply == 502 || reply == 504)) {
            m_noMlsd = true;
            names.clear();
            io = Io{};
            io.buffer = &names;
            io.cap = m_maxListing > 0 ? m_maxListing : kDefaultMaxListingBytes;
            io.timeLimit = m_timeLimit > 0 ? m_timeLimit : m_timeout;
            curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, nullptr);
            setUp();
            o = perform(io);
        }
        curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, nullptr);
    }
    if (o.code == kTransportOk) {
        // Every line ends with CR LF, whatever the server sends.
        names.replace("\r\n", "\n");
        // SFTP servers list the folder itself and its parent too; they are not files.
        if (m_scheme == Scheme::Sftp && !detailed) {
            QByteArrayList lines = names.split('\n');
            lines.removeAll(".");
            lines.removeAll("..");
            names = lines.join('\n');
        }
        names.replace('\n', "\r\n");
        if (!names.isEmpty() && !names.endsWith("\r\n"))
            names += "\r\n";
        o.output = names;
    }
    return o;
}

bool CurlWorker::splitRemote(const QString &remote, RemotePath &dir, QString &name) const
{
    int slash = remote.lastIndexOf('/');
    name = remote.mid(slash + 1);
    dir = m_cwd.resolved(slash < 0 ? QString() : remote.left(slash + 1));
    if (remote.startsWith('/') && slash == 0)
        dir = RemotePath{true, {}};
    return !name.isEmpty() && name != "." && name != ".." && usableName(remote);
}

Outcome CurlWorker::performThen(const QByteArrayList &commands, Io &io, int refused)
{
    curl_slist *cmds = nullptr;
    for (const QByteArray &c : commands)
        cmds = curl_slist_append(cmds, c.constData());
    curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, cmds);
    Outcome o = perform(io);
    curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, nullptr);
    curl_slist_free_all(cmds);
    if (o.code == kTransportOk && m_scheme != Scheme::Sftp) {
        long reply = 0;
        curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &reply);
        if (reply >= 400) {
            o.code = refused;
            o.info = QString::fromLocal8Bit(m_lastReply);
        }
    }
    return o;
}

Outcome CurlWorker::quote(const RemotePath &dir, const QByteArrayList &commands)
{
    QByteArray url = dirUrl(dir);
    curl_easy_setopt(m_curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
    Io io;
    return performThen(commands, io, kServerRefused);
}

namespace {
// A path inside an SFTP quote command, which unescapes backslashes and quotes.
QByteArray sftpQuoted(const QString &path)
{
    QByteArray p = path.toUtf8();
    p.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + p + '"';
}
} // namespace

Outcome CurlWorker::rename(const QString &from, const QString &to)
{
    RemotePath dir, toDir;
    QString name, toName;
    if (!splitRemote(from, dir, name))
        return unusableName(from);
    if (!splitRemote(to, toDir, toName))
        return unusableName(to);
    // No "*" over SFTP: there is no reply code to read a refusal from afterwards, so
    // only a failing command tells it.
    if (m_scheme == Scheme::Sftp)
        return quote(dir, {"rename " + sftpQuoted(dir.resolved(name).text()) + " " +
                           sftpQuoted(toDir.resolved(toName).text())});
    if (toDir.text() != dir.text())
        return {kTransportInternal, QStringLiteral("A file is renamed only within its folder."), {}};
    // Inside the file's folder, so that a send followed by its rename needs no CWD.
    return quote(dir, {"*RNFR " + name.toUtf8(), "*RNTO " + toName.toUtf8()});
}

Outcome CurlWorker::remove(const QString &path)
{
    RemotePath dir;
    QString name;
    if (!splitRemote(path, dir, name))
        return unusableName(path);
    if (m_scheme == Scheme::Sftp)
        return quote(dir, {"rm " + sftpQuoted(dir.resolved(name).text())}); // as a rename
    return quote(dir, {"*DELE " + name.toUtf8()});
}

Outcome CurlWorker::mkdir(const QString &arg)
{
    // The name goes into the control connection verbatim: a line break would
    // smuggle in a second command.
    if (arg.isEmpty() || !usableName(arg))
        return unusableName(arg);
    if (m_scheme == Scheme::Sftp) {
        // libcurl expands no "~/" inside quotes; the server takes a relative
        // path from the login folder.
        return quote(m_cwd, {"*mkdir " + sftpQuoted(m_cwd.resolved(arg).text())});
    }
    // "*": a refusal must not close the connection; it is read from the reply.
    return quote(m_cwd, {"*MKD " + arg.toUtf8()});
}

Outcome CurlWorker::put(const QString &local, const QString &remote, const QString &renameTo)
{
    Outcome o;
    RemotePath dir;
    QString name;
    if (!usableName(remote))
        return unusableName(remote);
    if (!splitRemote(remote, dir, name)) {
        o.code = kTransportInternal;
        o.info = QStringLiteral("No remote file name in \"%1\".").arg(remote);
        return o;
    }
    Io io;
    if (m_settings.localBytes)
        io.bytes = m_settings.localBytes(local);
    std::unique_ptr<QFile> in;
    if (io.bytes.isNull()) {
        in = std::make_unique<QFile>(local);
        if (!in->open(QIODevice::ReadOnly)) {
            o.code = kTransportLocalFile;
            o.info = QStringLiteral("Cannot read the local file %1: %2").arg(local, in->errorString());
            return o;
        }
    }
    QByteArray url = dirUrl(dir) + QUrl::toPercentEncoding(name);
    io.in = in.get();
    curl_easy_setopt(m_curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, &CurlWorker::onRead);
    curl_easy_setopt(m_curl, CURLOPT_READDATA, &io);
    curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(in ? in->size() : io.bytes.size()));
    if (renameTo.isEmpty())
        return perform(io);
    RemotePath toDir;
    QString toName;
    if (!splitRemote(renameTo, toDir, toName) || toDir.text() != dir.text())
        return {kTransportInternal, QStringLiteral("A file is renamed only within its folder."), {}};
    if (m_scheme == Scheme::Sftp) {
        o = perform(io);
        if (o.code != kTransportOk)
            return o;
        // The send's options (UPLOAD among them) must not carry over to the rename.
        Outcome r;
        if (!prepare(m_settings, r))
            return r;
        r = rename(remote, renameTo);
        if (r.code == kServerRefused)
            r.code = kTransportRenameRefused;
        return r;
    }
    // The rename rides on the send: no further round trip to set it up. "*" keeps
    // a refusal from failing the send; it is read from the last reply instead.
    return performThen({"*RNFR " + name.toUtf8(), "*RNTO " + toName.toUtf8()}, io, kTransportRenameRefused);
}

Outcome CurlWorker::get(const QString &remote, const QString &local)
{
    Outcome o;
    if (!usableName(remote))
        return unusableName(remote);
    RemotePath dir;
    QString name;
    bool named = splitRemote(remote, dir, name);
    // Written beside the target and renamed at the end, so a failed transfer
    // leaves no truncated file behind.
    QSaveFile out(local);
    if (!named || !out.open(QIODevice::WriteOnly)) {
        o.code = !named ? kTransportInternal : kTransportLocalFile;
        o.info = !named ? QStringLiteral("No remote file name in \"%1\".").arg(remote)
                        : QStringLiteral("Cannot write the local file %1: %2").arg(local, out.errorString());
        return o;
    }
    QByteArray url = dirUrl(dir) + QUrl::toPercentEncoding(name);
    Io io;
    io.out = &out;
    io.cap = m_maxDownload > 0 ? m_maxDownload : kDefaultMaxDownloadBytes;
    io.timeLimit = m_timeLimit > 0 ? m_timeLimit : kDefaultTransferTimeLimit;
    curl_easy_setopt(m_curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &CurlWorker::onWrite);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &io);
    o = perform(io);
    if (o.code != kTransportOk) {
        out.cancelWriting();
        return o;
    }
    if (!out.commit()) {
        o.code = kTransportLocalFile;
        o.info = QStringLiteral("Cannot write the local file %1: %2").arg(local, out.errorString());
    }
    return o;
}

Outcome CurlWorker::run(const QString &command, const Settings &settings)
{
    Outcome o;
    int blank = command.indexOf(' ');
    QString verb = (blank < 0 ? command : command.left(blank)).toUpper();
    QString args = blank < 0 ? QString() : command.mid(blank + 1);
    if (verb == "CLOSE") {
        closeHandle();
        m_cwd = RemotePath();
        return o;
    }
    m_settings = settings;
    if (!prepare(settings, o))
        return o;
    if (command.contains(QChar(0))) {
        // Fields apart by NUL, which no path holds.
        const QStringList f = command.split(QChar(0));
        const QString v = f[0].toUpper();
        if (v == "LIST" && f.size() == 2)
            return list(f[1], true);
        if (v == "PUT" && (f.size() == 3 || f.size() == 4))
            return put(f[1], f[2], f.value(3));
        if (v == "RENAME" && f.size() == 3)
            return rename(f[1], f[2]);
        if (v == "DELETE" && f.size() == 2)
            return remove(f[1]);
    } else if (verb == "CD") {
        return cd(args);
    } else if (verb == "DIR" || verb == "LS") {
        return list(QString(), false);
    } else if (verb == "LIST") {
        return list(QString(), true);
    } else if (verb == "MKDIR" || verb == "MKD") {
        return mkdir(args);
    }
    QString a, b;
    if (verb == "PUT" && SplitPutArguments(args, a, b))
        return put(a, b);
    if ((verb == "GET" || verb == "RECV") && SplitGetArguments(args, a, b))
        return get(a, b);
    o.code = kTransportInternal;
    o.info = QStringLiteral("Unknown or malformed command: %1").arg(command);
    return o;
}

void SetUpCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The command queued behind the one under way. The worker takes it the moment that
// one ends, so a connection never waits for the caller's thread between the two.
struct CurlTransport::Queue {
    std::mutex mutex;
    bool running = false; // a command is under way on the worker
    bool queued = false;
    QString operation;
    Settings settings;
};

CurlTransport::CurlTransport(QObject *parent) : QObject(parent), m_queue(std::make_shared<Queue>())
{
    m_thread = std::make_unique<QThread>();
    m_worker = new CurlWorker(this);
    m_worker->moveToThread(m_thread.get());
    m_thread->start();
}

CurlTransport::~CurlTransport()
{
    WithdrawNext();
    // The handle is closed on its own thread, after any command still queued.
    CurlWorker *worker = m_worker;
    QMetaObject::invokeMethod(
        worker,
        [worker] {
            worker->closeHandle();
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    m_thread->wait();
    delete m_worker;
}

namespace {

Settings settingsOf(const Transport &t)
{
    Settings s;
    s.url = t.URL;
    s.user = t.UserName;
    s.password = t.Password;
    s.proxy = t.Proxy;
    s.caFile = t.CaCertificates;
    s.timeout = t.RequestTimeout;
    s.port = t.RemotePort;
    s.access = t.AccessType;
    s.maxListing = t.MaxListingBytes;
    s.maxDownload = t.MaxDownloadBytes;
    s.timeLimit = t.TransferTimeLimit;
    s.progressMin = t.ProgressMinBytes;
    s.progress = bool(t.Progress);
    s.active = t.ActiveMode;
    s.localBytes = t.LocalBytes;
    return s;
}

} // namespace

void CurlTransport::Execute(const QString &operation)
{
    const Settings s = settingsOf(*this);
    ++m_pending;
    {
        std::lock_guard<std::mutex> hold(m_queue->mutex);
        m_queue->running = true;
    }
    CurlWorker *worker = m_worker;
    CurlTransport *self = this;
    QMetaObject::invokeMethod(
        worker,
        [worker, self, operation, s, queue = m_queue] {
            Outcome o = worker->run(operation, s);
            for (bool queued = false;; queued = true) {
                // The queued command goes at once if this one went well.
                QString next;
                Settings nextSettings;
                bool started = false;
                {
                    std::lock_guard<std::mutex> hold(queue->mutex);
                    started = queue->queued && o.code == kTransportOk;
                    if (started) {
                        next = std::exchange(queue->operation, QString());
                        nextSettings = queue->settings;
                    }
                    queue->queued = false;
                    queue->running = started;
                }
                const Result r{o.code, o.info, o.output, worker->cwd()};
                QMetaObject::invokeMethod(
                    self, [self, r, queued, started] { self->finished(r, queued, started); },
                    Qt::QueuedConnection);
                if (!started)
                    break;
                o = worker->run(next, nextSettings);
            }
        },
        Qt::QueuedConnection);
}

bool CurlTransport::ExecuteNext(const QString &operation)
{
    if (m_pending != 1 || m_next != Next::None || m_early)
        return false;
    std::lock_guard<std::mutex> hold(m_queue->mutex);
    if (!m_queue->running || m_queue->queued)
        return false; // the command under way ended already: its result is on its way
    m_queue->queued = true;
    m_queue->operation = operation;
    m_queue->settings = settingsOf(*this);
    m_next = Next::Queued;
    return true;
}

bool CurlTransport::WithdrawNext()
{
    std::lock_guard<std::mutex> hold(m_queue->mutex);
    if (m_next != Next::Queued || !m_queue->queued)
        return false;
    m_queue->queued = false;
    m_queue->operation.clear();
    m_next = Next::None;
    return true;
}

bool CurlTransport::TakeNext()
{
    if (m_pending > 0 || m_next != Next::Started) {
        if (m_pending == 0)
            m_next = Next::None;
        return false;
    }
    m_next = Next::None;
    if (m_early) { // it ended already: its result is the last one now
        m_early = false;
        apply(m_earlyResult);
    } else {
        ++m_pending;
        m_currentQueued = true;
    }
    return true;
}

void CurlTransport::finished(const Result &result, bool queued, bool nextStarted)
{
    if (queued && !m_currentQueued) {
        m_early = true; // kept until the caller takes the queued command
        m_earlyResult = result;
        return;
    }
    m_currentQueued = false;
    --m_pending;
    apply(result);
    if (m_next == Next::Queued)
        m_next = nextStarted ? Next::Started : Next::None;
}

void CurlTransport::apply(const Result &result)
{
    m_code = result.code;
    m_info = result.info;
    m_output = QString::fromLocal8Bit(result.output);
    m_outputPos = 0;
    m_cwd = result.cwd;
}

QString CurlTransport::GetChunk(int size)
{
    // Cut the decoded text, not the bytes, so no character is split between pieces.
    if (size <= 0 || m_outputPos >= m_output.size())
        return QString();
    QString piece = m_output.mid(m_outputPos, size);
    m_outputPos += piece.size();
    return piece;
}

} // namespace transport
