#include "publish/transport/S3Transport.h"

#include "publish/transport/CurlTransport.h"
#include "publish/transport/FtpCommand.h"
#include "publish/transport/S3Xml.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <curl/curl.h>

namespace transport {

namespace {

struct Settings {
    QString url, user, password, proxy, caFile, region, bucket;
    int timeout = 60, port = 0, access = kAccessDefault, timeLimit = 0, pageSize = 0;
    qint64 maxListing = 0, maxDownload = 0, progressMin = 0, threshold = 0, partSize = 0;
    bool pathStyle = true;
    std::function<QByteArray(const QString &)> localBytes;
};

struct Outcome {
    int code = kTransportOk;
    QString info;
    QByteArray output;
};

const QByteArray kEmptyHash = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
constexpr qint64 kMaxAnswerBytes = 1 << 20; // an error or a multipart answer

QByteArray sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

bool usableName(const QString &name)
{
    return std::none_of(name.begin(), name.end(),
                        [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

Outcome unusable(const QString &name)
{
    return {kTransportInternal, QStringLiteral("The remote name \"%1\" cannot be used.").arg(name), {}};
}

// Query parameters sorted and encoded as the signature's canonical form wants them:
// libcurl signs the query as it stands.
QByteArray query(QList<QPair<QByteArray, QString>> params)
{
    std::sort(params.begin(), params.end());
    QByteArrayList parts;
    for (const auto &p : params)
        parts << p.first + '=' + QUrl::toPercentEncoding(p.second);
    return parts.join('&');
}

} // namespace

class S3Worker : public QObject {
public:
    explicit S3Worker(S3Transport *owner) : m_owner(owner) {}
    ~S3Worker() override { close(); }

    void close()
    {
        if (m_curl)
            curl_easy_cleanup(m_curl);
        m_curl = nullptr;
    }
    Outcome run(const QString &command, const Settings &s);

private:
    struct Request {
        QByteArray method = "GET";
        QString key; // "" = the bucket
        QList<QPair<QByteArray, QString>> query;
        QByteArrayList headers;
        const QByteArray *body = nullptr;
        QSaveFile *out = nullptr;
        qint64 cap = kMaxAnswerBytes;
        int timeLimit = 0;
        qint64 progressBase = 0, progressTotal = 0;
    };
    struct Io {
        S3Worker *self = nullptr;
        Request *request = nullptr;
        QByteArray body;
        QByteArray etag;
        qint64 written = 0;
        bool capExceeded = false, writeFailed = false;
    };

    bool prepare(const Settings &s, Outcome &o);
    Outcome send(Request &r, QByteArray *answer = nullptr, QByteArray *etag = nullptr);
    bool keyOf(const QString &remote, QString &key) const;
    // The keys' common start for a folder: "" at the top, else ending in "/".
    bool folderPrefix(const QString &folder, QString &prefix) const;
    // Every page of a folder's listing; without `entries` only whether the first answers.
    Outcome listing(const QString &prefix, QVector<S3Entry> *entries);
    Outcome put(const QString &local, const QString &remote);
    Outcome putParts(QFile &in, const QString &key, const QByteArrayList &headers);
    Outcome get(const QString &remote, const QString &local);
    Outcome remove(const QString &remote);
    Outcome rename(const QString &from, const QString &to);

    static size_t onHeader(char *data, size_t size, size_t n, void *user);
    static size_t onWrite(char *data, size_t size, size_t n, void *user);
    static int onProgress(void *user, curl_off_t, curl_off_t, curl_off_t ulTotal, curl_off_t ulNow);

    S3Transport *m_owner;
    CURL *m_curl = nullptr;
    Settings m_s;
    QByteArray m_base; // scheme://host[:port][/bucket], without the final "/"
    QStringList m_prefix;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    QByteArray m_sigv4, m_user, m_password, m_proxy, m_caFile;
};

bool S3Worker::prepare(const Settings &s, Outcome &o)
{
    if (BreaksTheLine(s.user) || BreaksTheLine(s.password)) {
        o = {kTransportInternal,
             QString::fromLatin1(kCredentialBreaksTheLine)
                 .arg(BreaksTheLine(s.user) ? QStringLiteral("access key") : QStringLiteral("secret key")),
             {}};
        return false;
    }
    QString text = s.url.trimmed();
    if (text.isEmpty())
        text = QStringLiteral("https://s3.%1.amazonaws.com").arg(s.region.trimmed());
    if (!text.contains(QLatin1String("://")))
        text.prepend(QLatin1String("https://"));
    const QUrl url(text);
    const QString scheme = url.scheme().toLower();
    const QString bucket = s.bucket.trimmed();
    // The region goes into the signing parameter, whose fields are apart by ":".
    static const QRegularExpression regionName(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    if (!regionName.match(s.region).hasMatch()) {
        o = {kTransportInternal, QStringLiteral("The region \"%1\" cannot be used.").arg(s.region), {}};
        return false;
    }
    // A bucket name goes into the host or the path as it stands: DNS-like names only.
    static const QRegularExpression bucketName(QStringLiteral("^[a-z0-9][a-z0-9.-]{1,61}[a-z0-9]$"));
    if (!url.isValid() || url.host().isEmpty() || (scheme != "http" && scheme != "https") ||
        !bucketName.match(bucket).hasMatch()) {
        o.code = kTransportInternal;
        o.info = bucketName.match(bucket).hasMatch()
                     ? QStringLiteral("The endpoint \"%1\" cannot be used.").arg(s.url)
                     : QStringLiteral("The bucket name \"%1\" cannot be used.").arg(s.bucket);
        return false;
    }
    const int port = s.port > 0 ? s.port : url.port(-1);
    QByteArray host = QUrl::toAce(url.host());
    if (url.host().contains(':'))
        host = '[' + url.host().toLatin1() + ']';
    // The scheme's own port stays out of the address, so the signed host is the plain name.
    const bool ownPort = port == (scheme == QLatin1String("https") ? 443 : 80);
    const QByteArray hostPort = port > 0 && !ownPort ? host + ':' + QByteArray::number(port) : host;
    const QByteArray base = s.pathStyle ? scheme.toLatin1() + "://" + hostPort + '/' + bucket.toLatin1()
                                        : scheme.toLatin1() + "://" + bucket.toLatin1() + '.' + hostPort;
    // Another bucket or account starts again at the bucket's top.
    if (base != m_base || s.user.toUtf8() != m_user)
        m_prefix.clear();
    m_base = base;
    m_s = s;
    m_user = s.user.toUtf8();
    m_password = s.password.toUtf8();
    m_sigv4 = "aws:amz:" + s.region.trimmed().toUtf8() + ":s3";
    m_proxy = s.proxy.toUtf8();
    m_caFile = s.caFile.toLocal8Bit();
    if (!m_curl)
        m_curl = curl_easy_init();
    if (!m_curl) {
        o.code = kTransportInternal;
        o.info = QStringLiteral("The transfer library could not start.");
        return false;
    }
    return true;
}

size_t S3Worker::onHeader(char *data, size_t size, size_t n, void *user)
{
    auto *io = static_cast<Io *>(user);
    const QByteArray line = QByteArray(data, qsizetype(size * n)).trimmed();
    if (line.toLower().startsWith("etag:"))
        io->etag = line.mid(5).trimmed();
    return size * n;
}

size_t S3Worker::onWrite(char *data, size_t size, size_t n, void *user)
{
    auto *io = static_cast<Io *>(user);
    io->written += qint64(size * n);
    if (io->request->cap > 0 && io->written > io->request->cap) {
        io->capExceeded = true;
        return 0;
    }
    if (io->request->out && io->request->out->write(data, qint64(size * n)) != qint64(size * n)) {
        io->writeFailed = true;
        return 0;
    }
    if (!io->request->out)
        io->body.append(data, qsizetype(size * n));
    return size * n;
}

int S3Worker::onProgress(void *user, curl_off_t, curl_off_t, curl_off_t ulTotal, curl_off_t ulNow)
{
    auto *io = static_cast<Io *>(user);
    const Request &r = *io->request;
    const qint64 total = r.progressTotal > 0 ? r.progressTotal : qint64(ulTotal);
    if (ulNow <= 0 || (total > 0 && total < io->self->m_s.progressMin))
        return 0;
    S3Transport *owner = io->self->m_owner;
    const qint64 done = r.progressBase + qint64(ulNow);
    QMetaObject::invokeMethod(
        owner,
        [owner, done, total] {
            if (owner->Progress)
                owner->Progress(done, total);
        },
        Qt::QueuedConnection);
    return 0;
}

Outcome S3Worker::send(Request &r, QByteArray *answer, QByteArray *etag)
{
    QByteArrayList segments;
    for (const QString &s : r.key.split('/', Qt::SkipEmptyParts))
        segments << QUrl::toPercentEncoding(s);
    QByteArray url = m_base + (m_s.pathStyle && segments.isEmpty() ? "" : "/") + segments.join('/');
    if (!r.query.isEmpty())
        url += '?' + query(r.query);

    // A broken connection closed the handle: an abort after a failed part needs a new one.
    if (!m_curl && !(m_curl = curl_easy_init()))
        return {kTransportInternal, QStringLiteral("The transfer library could not start."), {}};
    curl_easy_reset(m_curl); // the connection stays for the next request
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(m_curl, CURLOPT_AWS_SIGV4, m_sigv4.constData());
    curl_easy_setopt(m_curl, CURLOPT_USERNAME, m_user.constData());
    curl_easy_setopt(m_curl, CURLOPT_PASSWORD, m_password.constData());
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, long(m_s.timeout));
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, long(m_s.timeout));
    if (r.timeLimit > 0)
        curl_easy_setopt(m_curl, CURLOPT_TIMEOUT, long(r.timeLimit));
    if (m_s.access == kAccessNamedProxy && !m_proxy.isEmpty())
        curl_easy_setopt(m_curl, CURLOPT_PROXY, m_proxy.constData());
    if (!m_caFile.isEmpty())
        curl_easy_setopt(m_curl, CURLOPT_CAINFO, m_caFile.constData());
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_errorBuffer);
    m_errorBuffer[0] = '\0';

    const QByteArray hash = r.body ? sha256(*r.body) : kEmptyHash;
    curl_slist *headers = curl_slist_append(nullptr, ("x-amz-content-sha256: " + hash).constData());
    for (const QByteArray &h : std::as_const(r.headers))
        headers = curl_slist_append(headers, h.constData());
    // libcurl would call a body without a type a form; the service might read it as one.
    if (r.body && std::none_of(r.headers.begin(), r.headers.end(),
                               [](const QByteArray &h) { return h.startsWith("Content-Type:"); }))
        headers = curl_slist_append(headers, "Content-Type: application/octet-stream");
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, headers);
    if (r.method == "HEAD")
        curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
    else if (r.method != "GET")
        curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, r.method.constData());
    if (r.body) {
        // From memory: no "Expect: 100-continue" round trip for small bodies.
        curl_easy_setopt(m_curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(r.body->size()));
        curl_easy_setopt(m_curl, CURLOPT_POSTFIELDS, r.body->constData());
    }
    Io io;
    io.self = this;
    io.request = &r;
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &S3Worker::onWrite);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &io);
    curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, &S3Worker::onHeader);
    curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, &io);
    curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, r.body ? 0L : 1L);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, &S3Worker::onProgress);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, &io);
    const CURLcode rc = curl_easy_perform(m_curl);
    curl_slist_free_all(headers);
    long status = 0;
    curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status);
    if (answer)
        *answer = io.body;
    if (etag)
        *etag = io.etag;

    Outcome o;
    QString detail = QString::fromLocal8Bit(m_errorBuffer).trimmed();
    if (detail.isEmpty())
        detail = QString::fromLatin1(curl_easy_strerror(rc));
    if (io.capExceeded) {
        o = {kTransportTooLarge,
             QStringLiteral("The server sent more than %1 bytes; the transfer was stopped.").arg(r.cap),
             {}};
    } else if (io.writeFailed) {
        o = {kTransportLocalFile, QStringLiteral("The local file could not be written."), {}};
    } else if (rc == CURLE_OPERATION_TIMEDOUT) {
        o = {kTransportTimedOut, QStringLiteral("The server did not answer in time (%1).").arg(detail), {}};
    } else if (rc == CURLE_COULDNT_RESOLVE_HOST || rc == CURLE_COULDNT_RESOLVE_PROXY) {
        o = {kTransportNameNotResolved,
             QStringLiteral("The server name could not be resolved (%1).").arg(detail),
             {}};
    } else if (rc == CURLE_COULDNT_CONNECT) {
        o = {kTransportCannotConnect, QStringLiteral("Cannot connect to the server (%1).").arg(detail), {}};
    } else if (rc == CURLE_SSL_CONNECT_ERROR || rc == CURLE_PEER_FAILED_VERIFICATION ||
               rc == CURLE_SSL_CERTPROBLEM || rc == CURLE_SSL_CIPHER || rc == CURLE_SSL_CACERT_BADFILE) {
        o = {kTransportSecurity, QStringLiteral("The secure connection failed (%1).").arg(detail), {}};
    } else if (rc != CURLE_OK) {
        o = {kTransportConnectionLost,
             QStringLiteral("The connection to the server failed (%1).").arg(detail),
             {}};
    } else if (status >= 300) {
        const S3Error e = ParseS3Error(io.body);
        const QString said = e.code.isEmpty() ? QStringLiteral("HTTP %1").arg(status)
                                              : QStringLiteral("%1: %2").arg(e.code, e.message);
        static const QStringList refusedLogin{"SignatureDoesNotMatch", "InvalidAccessKeyId", "InvalidToken",
                                              "ExpiredToken", "InvalidClientTokenId"};
        if (refusedLogin.contains(e.code))
            o = {kTransportLoginFailed, said, {}};
        else if (e.code == QLatin1String("NoSuchBucket"))
            o = {kServerRefused,
                 QStringLiteral("The storage service has no bucket \"%1\".").arg(m_s.bucket),
                 {}};
        else
            o = {kServerRefused,
                 QStringLiteral("The storage service refused the request (%1).").arg(said),
                 {}};
    }
    if (o.code != kTransportOk && o.code != kServerRefused && o.code != kTransportLoginFailed)
        close(); // the next request starts on a fresh connection
    return o;
}

bool S3Worker::keyOf(const QString &remote, QString &key) const
{
    if (!usableName(remote))
        return false;
    QStringList segments = remote.startsWith('/') ? QStringList() : m_prefix;
    for (const QString &seg : remote.split('/', Qt::SkipEmptyParts)) {
        if (seg == QLatin1String(".."))
            segments.isEmpty() ? void() : segments.removeLast();
        else if (seg != QLatin1String("."))
            segments << seg;
    }
    key = segments.join('/');
    return !key.isEmpty();
}

bool S3Worker::folderPrefix(const QString &folder, QString &prefix) const
{
    QString key;
    keyOf(folder, key);
    prefix = key.isEmpty() ? QString() : key + '/';
    return usableName(folder);
}

Outcome S3Worker::listing(const QString &prefix, QVector<S3Entry> *entries)
{
    QString token;
    qint64 total = 0;
    const qint64 cap = m_s.maxListing > 0 ? m_s.maxListing : kDefaultMaxListingBytes;
    QDeadlineTimer deadline(qint64(m_s.timeLimit > 0 ? m_s.timeLimit : m_s.timeout) * 1000);
    for (;;) {
        Request r;
        r.query = {{"list-type", "2"}, {"prefix", prefix}, {"delimiter", "/"}};
        const int maxKeys = entries ? m_s.pageSize : 1;
        if (maxKeys > 0)
            r.query << qMakePair(QByteArray("max-keys"), QString::number(maxKeys));
        if (!token.isEmpty())
            r.query << qMakePair(QByteArray("continuation-token"), token);
        r.cap = qMax<qint64>(1, cap - total);
        r.timeLimit = int(qMax<qint64>(1, deadline.remainingTime() / 1000));
        QByteArray answer;
        Outcome o = send(r, &answer);
        if (o.code != kTransportOk)
            return o;
        total += answer.size();
        S3ListPage page;
        if (!ParseS3ListPage(answer, prefix, page))
            return {kServerRefused,
                    QStringLiteral("The storage service sent a listing that cannot be read."),
                    {}};
        if (entries)
            *entries += page.entries;
        if (!page.truncated || !entries)
            return {};
        // A listing that goes round in circles, or on for ever, is cut short.
        if (page.nextToken.isEmpty() || page.nextToken == token || deadline.hasExpired())
            return {kTransportTooLarge,
                    QStringLiteral("The storage service's listing of \"%1\" does not end.").arg(prefix),
                    {}};
        token = page.nextToken;
    }
}

Outcome S3Worker::put(const QString &local, const QString &remote)
{
    QString key;
    if (!keyOf(remote, key))
        return unusable(remote);
    const QByteArrayList headers{"Content-Type: " + S3ContentType(key),
                                 "Cache-Control: " + S3CacheControl(key)};
    QByteArray body = m_s.localBytes ? m_s.localBytes(local) : QByteArray();
    if (body.isNull() || body.size() > m_s.threshold) {
        QFile in(local);
        if (!in.open(QIODevice::ReadOnly))
            return {kTransportLocalFile,
                    QStringLiteral("Cannot read the local file %1: %2").arg(local, in.errorString()),
                    {}};
        if (in.size() > m_s.threshold)
            return putParts(in, key, headers);
        body = in.readAll();
        if (body.size() != in.size())
            return {kTransportLocalFile,
                    QStringLiteral("The local file %1 could not be read whole.").arg(local),
                    {}};
    }
    Request r;
    r.method = "PUT";
    r.key = key;
    r.headers = headers;
    r.body = &body;
    r.timeLimit = kDefaultTransferTimeLimit;
    return send(r);
}

// Multipart upload: the object appears only when every part arrived and the
// upload is completed; a failed one is aborted, so no parts are left to pay for.
Outcome S3Worker::putParts(QFile &in, const QString &key, const QByteArrayList &headers)
{
    Request start;
    start.method = "POST";
    start.key = key;
    start.query = {{"uploads", QString()}};
    start.headers = headers;
    QByteArray answer;
    Outcome o = send(start, &answer);
    const QString uploadId = S3ElementText(answer, QStringLiteral("UploadId"));
    if (o.code != kTransportOk)
        return o;
    if (uploadId.isEmpty())
        return {kServerRefused, QStringLiteral("The storage service did not start the upload in parts."), {}};
    QByteArray complete = "<CompleteMultipartUpload>";
    const qint64 partSize = qMax<qint64>(m_s.partSize, 5 << 20);
    for (int number = 1; o.code == kTransportOk && !in.atEnd(); ++number) {
        const qint64 offset = in.pos();
        const QByteArray body = in.read(partSize);
        Request part;
        part.method = "PUT";
        part.key = key;
        part.query = {{"partNumber", QString::number(number)}, {"uploadId", uploadId}};
        part.body = &body;
        part.timeLimit = kDefaultTransferTimeLimit;
        part.progressBase = offset;
        part.progressTotal = in.size();
        QByteArray etag;
        o = body.isEmpty()
                ? Outcome{kTransportLocalFile, QStringLiteral("The local file could not be read."), {}}
                : send(part, nullptr, &etag);
        if (o.code == kTransportOk && etag.isEmpty())
            o = {kServerRefused,
                 QStringLiteral("The storage service did not confirm part %1.").arg(number),
                 {}};
        complete += "<Part><PartNumber>" + QByteArray::number(number) + "</PartNumber><ETag>" +
                    QString::fromLatin1(etag).toHtmlEscaped().toLatin1() + "</ETag></Part>";
    }
    if (o.code == kTransportOk) {
        complete += "</CompleteMultipartUpload>";
        Request finish;
        finish.method = "POST";
        finish.key = key;
        finish.query = {{"uploadId", uploadId}};
        finish.headers = {"Content-Type: application/xml"};
        finish.body = &complete;
        finish.timeLimit = kDefaultTransferTimeLimit;
        o = send(finish, &answer);
        // The service may answer 200 and still report a failure in the body.
        const S3Error e = ParseS3Error(answer);
        if (o.code == kTransportOk && !e.code.isEmpty())
            o = {kServerRefused,
                 QStringLiteral("The storage service refused the upload (%1: %2).").arg(e.code, e.message),
                 {}};
        if (o.code == kTransportOk)
            return o;
    }
    Request abort;
    abort.method = "DELETE";
    abort.key = key;
    abort.query = {{"uploadId", uploadId}};
    send(abort);
    return o;
}

Outcome S3Worker::get(const QString &remote, const QString &local)
{
    QString key;
    if (!keyOf(remote, key))
        return unusable(remote);
    QSaveFile out(local);
    if (!out.open(QIODevice::WriteOnly))
        return {kTransportLocalFile,
                QStringLiteral("Cannot write the local file %1: %2").arg(local, out.errorString()),
                {}};
    Request r;
    r.key = key;
    r.out = &out;
    r.cap = m_s.maxDownload > 0 ? m_s.maxDownload : kDefaultMaxDownloadBytes;
    r.timeLimit = m_s.timeLimit > 0 ? m_s.timeLimit : kDefaultTransferTimeLimit;
    Outcome o = send(r);
    if (o.code == kTransportOk && !out.commit())
        o = {kTransportLocalFile, QStringLiteral("Cannot write the local file %1.").arg(local), {}};
    return o;
}

Outcome S3Worker::remove(const QString &remote)
{
    Request r;
    if (!keyOf(remote, r.key))
        return unusable(remote);
    r.method = "DELETE";
    return send(r);
}

// No rename in S3: a copy on the server, then the old key goes.
Outcome S3Worker::rename(const QString &from, const QString &to)
{
    Request copy;
    QString source;
    if (!keyOf(from, source))
        return unusable(from);
    if (!keyOf(to, copy.key))
        return unusable(to);
    QByteArrayList segments;
    for (const QString &s : source.split('/'))
        segments << QUrl::toPercentEncoding(s);
    copy.method = "PUT";
    copy.headers = {"x-amz-copy-source: /" + m_s.bucket.toUtf8() + '/' + segments.join('/')};
    QByteArray answer;
    Outcome o = send(copy, &answer);
    if (o.code == kTransportOk && !ParseS3Error(answer).code.isEmpty())
        o = {kServerRefused, QStringLiteral("The storage service could not copy %1.").arg(from), {}};
    return o.code == kTransportOk ? remove(from) : o;
}

Outcome S3Worker::run(const QString &command, const Settings &s)
{
    Outcome o;
    if (command.compare(QLatin1String("CLOSE"), Qt::CaseInsensitive) == 0) {
        close();
        m_prefix.clear();
        return o;
    }
    if (!prepare(s, o))
        return o;
    const int blank = command.indexOf(' ');
    const QString verb = (blank < 0 ? command : command.left(blank)).toUpper();
    const QString args = blank < 0 ? QString() : command.mid(blank + 1);
    if (command.contains(QChar(0))) {
        const QStringList f = command.split(QChar(0));
        const QString v = f[0].toUpper();
        QVector<S3Entry> entries;
        if (v == "LIST" && f.size() == 2) {
            QString prefix;
            if (!folderPrefix(f[1], prefix))
                return unusable(f[1]);
            o = listing(prefix, &entries);
            o.output = S3ListingLines(entries).toUtf8();
            return o;
        }
        // Each PUT is atomic: a visitor gets the old object or the new one, never half,
        // so a file goes straight to its final name and needs no temporary one.
        if (v == "PUT" && (f.size() == 3 || f.size() == 4))
            return put(f[1], f.size() == 4 ? f[3] : f[2]);
        if (v == "RENAME" && f.size() == 3)
            return rename(f[1], f[2]);
        if (v == "DELETE" && f.size() == 2)
            return remove(f[1]);
    } else if (verb == "CD") {
        // Folders are only key prefixes; changing into one checks that the bucket
        // answers to these keys.
        QString prefix;
        if (!folderPrefix(args, prefix))
            return unusable(args);
        o = listing(prefix, nullptr);
        if (o.code == kTransportOk)
            m_prefix = prefix.split('/', Qt::SkipEmptyParts);
        return o;
    } else if (verb == "MKDIR" || verb == "MKD") {
        return o; // a folder exists as soon as a key under it does
    } else if (verb == "DIR" || verb == "LS" || verb == "LIST") {
        QVector<S3Entry> entries;
        QString prefix;
        folderPrefix(QString(), prefix);
        o = listing(prefix, &entries);
        QString names;
        for (const S3Entry &e : std::as_const(entries))
            names += verb == "LIST"
                         ? S3ListingLines({e})
                         : QString(e.name).replace('\r', QChar(1)).replace('\n', QChar(1)) + "\r\n";
        o.output = names.toUtf8();
        return o;
    }
    QString a, b;
    if (verb == "PUT" && SplitPutArguments(args, a, b))
        return put(a, b);
    if ((verb == "GET" || verb == "RECV") && SplitGetArguments(args, a, b))
        return get(a, b);
    return {kTransportInternal, QStringLiteral("Unknown or malformed command: %1").arg(command), {}};
}

S3Transport::S3Transport(QObject *parent) : QObject(parent)
{
    SetUpCurl(); // the one set-up of the process, shared with the other transports
    m_thread = std::make_unique<QThread>();
    m_worker = new S3Worker(this);
    m_worker->moveToThread(m_thread.get());
    m_thread->start();
}

S3Transport::~S3Transport()
{
    S3Worker *worker = m_worker;
    QMetaObject::invokeMethod(
        worker,
        [worker] {
            worker->close();
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    m_thread->wait();
    delete m_worker;
}

void S3Transport::Execute(const QString &operation)
{
    Settings s;
    s.url = URL;
    s.user = UserName;
    s.password = Password;
    s.proxy = Proxy;
    s.caFile = CaCertificates;
    s.region = Region.trimmed().isEmpty() ? QStringLiteral("us-east-1") : Region.trimmed();
    s.bucket = Bucket;
    s.pathStyle = PathStyle;
    s.timeout = RequestTimeout > 0 ? RequestTimeout : 60;
    s.port = RemotePort;
    s.access = AccessType;
    s.maxListing = MaxListingBytes;
    s.maxDownload = MaxDownloadBytes;
    s.timeLimit = TransferTimeLimit;
    s.progressMin = ProgressMinBytes;
    s.threshold = MultipartThreshold;
    s.partSize = PartSize;
    s.localBytes = LocalBytes;
    s.pageSize = ListPageSize;
    ++m_pending;
    S3Worker *worker = m_worker;
    S3Transport *self = this;
    QMetaObject::invokeMethod(
        worker,
        [worker, self, operation, s] {
            const Outcome o = worker->run(operation, s);
            QMetaObject::invokeMethod(
                self, [self, o] { self->finished(o.code, o.info, QString::fromUtf8(o.output)); },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void S3Transport::finished(int code, const QString &info, const QString &output)
{
    --m_pending;
    m_code = code;
    m_info = info;
    m_output = output;
    m_outputPos = 0;
}

QString S3Transport::GetChunk(int size)
{
    if (size <= 0 || m_outputPos >= m_output.size())
        return QString();
    const QString piece = m_output.mid(m_outputPos, size);
    m_outputPos += piece.size();
    return piece;
}

QByteArray S3ContentType(const QString &name)
{
    static const QHash<QString, QByteArray> types{{"htm", "text/html; charset=utf-8"},
                                                  {"html", "text/html; charset=utf-8"},
                                                  {"css", "text/css; charset=utf-8"},
                                                  {"js", "text/javascript; charset=utf-8"},
                                                  {"mjs", "text/javascript; charset=utf-8"},
                                                  {"json", "application/json"},
                                                  {"xml", "application/xml"},
                                                  {"txt", "text/plain; charset=utf-8"},
                                                  {"svg", "image/svg+xml"},
                                                  {"png", "image/png"},
                                                  {"jpg", "image/jpeg"},
                                                  {"jpeg", "image/jpeg"},
                                                  {"gif", "image/gif"},
                                                  {"webp", "image/webp"},
                                                  {"avif", "image/avif"},
                                                  {"ico", "image/vnd.microsoft.icon"},
                                                  {"woff", "font/woff"},
                                                  {"woff2", "font/woff2"},
                                                  {"ttf", "font/ttf"},
                                                  {"otf", "font/otf"},
                                                  {"pdf", "application/pdf"},
                                                  {"zip", "application/zip"},
                                                  {"mp4", "video/mp4"},
                                                  {"webm", "video/webm"},
                                                  {"mp3", "audio/mpeg"},
                                                  {"webmanifest", "application/manifest+json"}};
    const int dot = name.lastIndexOf('.');
    const QString ext = dot < 0 || dot < name.lastIndexOf('/') ? QString() : name.mid(dot + 1).toLower();
    return types.value(ext, "application/octet-stream");
}

QByteArray S3CacheControl(const QString &name)
{
    const QByteArray type = S3ContentType(name);
    static const QRegularExpression hashed(QStringLiteral("[.-][0-9a-f]{8,}\\.[a-z0-9]+$"),
                                           QRegularExpression::CaseInsensitiveOption);
    if (type.startsWith("text/html") || type.startsWith("text/plain") || type == "application/xml" ||
        type == "application/json")
        return "max-age=300";
    if (hashed.match(name.mid(name.lastIndexOf('/') + 1)).hasMatch())
        return "max-age=31536000, immutable";
    return "max-age=86400";
}

} // namespace transport
