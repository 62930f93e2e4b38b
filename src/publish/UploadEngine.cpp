#include "publish/UploadEngine.h"

#include "generation/FileList.h"
#include "generation/PublishedPage.h"
#include "platform/IniFile.h"
#include "publish/FTP.h"
#include "publish/HashCache.h"
#include "publish/SavedTarget.h"
#include "publish/Sha1.h"
#include "publish/SiteFiles.h"
#include "publish/transport/CurlTransport.h"
#include "publish/transport/S3Transport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <deque>
#include <future>
#include <sys/prctl.h>

namespace publish {

namespace {

struct Item {
    QString local;
    QString remote; // relative to the remote folder, "/" between folders
    qint64 size = 0;
    QByteArray hash;
    bool send = false;
    bool replaces = false;      // the server has a file of that name
    bool stageWhenSent = false; // a page whose published copy is staged only if it goes
    FileStamp stamp{};          // the walk's, then the one hashed; size -1: not known
};

struct ManifestEntry {
    qint64 size = -1;
    QByteArray hash;
};

using Manifest = QHash<QString, ManifestEntry>;

int defaultPort(Protocol p)
{
    return p == Protocol::Sftp ? 22 : 21;
}

// An S3 endpoint with its scheme; AWS in the target's region when none is given.
QString s3Endpoint(const Target &t)
{
    const QString h = t.host.trimmed();
    if (h.isEmpty())
        return QStringLiteral("https://s3.%1.amazonaws.com").arg(t.region.trimmed());
    return h.contains(QLatin1String("://")) ? h : QStringLiteral("https://") + h;
}

QString serverUrl(const Target &t)
{
    if (t.protocol == Protocol::S3)
        return s3Endpoint(t);
    // A scheme typed into the server box wins over the protocol chosen.
    if (t.host.contains(QLatin1String("://")))
        return t.host.trimmed();
    switch (t.protocol) {
    case Protocol::FtpTls:
        return QStringLiteral("ftps://") + t.host.trimmed();
    case Protocol::Sftp:
        return QStringLiteral("sftp://") + t.host.trimmed();
    default:
        return t.host.trimmed();
    }
}

Protocol effectiveProtocol(const Target &t)
{
    if (t.protocol == Protocol::S3)
        return t.protocol;
    const QString h = t.host.trimmed().toLower();
    if (h.startsWith(QLatin1String("sftp://")))
        return Protocol::Sftp;
    if (h.startsWith(QLatin1String("ftps://")))
        return Protocol::FtpTls;
    if (h.startsWith(QLatin1String("ftp://")))
        return Protocol::Ftp;
    return t.protocol;
}

// The host and port typed into the server box, "host", "host:port" or "scheme://host:port".
QUrl typedServer(const Target &t)
{
    if (t.protocol == Protocol::S3)
        return QUrl(s3Endpoint(t));
    QString h = t.host.trimmed();
    if (!h.contains(QLatin1String("://")))
        h.prepend(QStringLiteral("ftp://"));
    return QUrl(h);
}

QString hostName(const Target &t)
{
    const QUrl url = typedServer(t);
    return url.host().isEmpty() ? t.host.trimmed() : url.host();
}

int effectivePort(const Target &t)
{
    if (t.port > 0)
        return t.port;
    if (t.protocol == Protocol::S3)
        return typedServer(t).port(typedServer(t).scheme() == QLatin1String("http") ? 80 : 443);
    return typedServer(t).port(defaultPort(effectiveProtocol(t)));
}

bool isPage(const QString &remote)
{
    return remote.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive) ||
           remote.endsWith(QLatin1String(".html"), Qt::CaseInsensitive);
}

QString folderOf(const QString &remote)
{
    const int slash = remote.lastIndexOf('/');
    return slash < 0 ? QString() : remote.left(slash);
}

QString nameOf(const QString &remote)
{
    return remote.mid(remote.lastIndexOf('/') + 1);
}

QString joinRemote(const QString &folder, const QString &name)
{
    return folder.isEmpty() ? name : folder + '/' + name;
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash h(QCryptographicHash::Sha1);
    h.addData(&f);
    return h.result().toHex();
}

// A path below the remote folder that stays there: plain names apart by "/".
bool plainPath(const QString &remote)
{
    const QStringList names = remote.split('/');
    return !remote.isEmpty() && std::all_of(names.begin(), names.end(), IsPlainName);
}

// A file left out of the plan, as a result of its own.
FileResult leftOut(const SiteSkip &skip)
{
    return {skip.path, QString(), skip.fault ? Action::Failed : Action::Skipped,
            QStringLiteral("Not sent: %1").arg(skip.reason), 0};
}

// A row for each file of `listed`, under its remote path; what it left out goes to
// `leftOutLines` as results.
QVector<Row> rowsOf(const SiteFiles &listed, QVector<FileResult> *leftOutLines)
{
    QVector<Row> rows;
    for (const SiteFile &f : listed.files)
        rows.push_back({f.local, false, f.remote});
    for (const SiteSkip &skip : listed.skipped) {
        if (leftOutLines)
            *leftOutLines << leftOut(skip);
    }
    return rows;
}

// The files of the rows, each with its remote path; what is left out goes to the
// summary and is told as it would be if it had been sent.
QVector<Item> planRows(const QVector<Row> &rows, bool includeHidden, Summary &summary, UploadEngine &engine)
{
    const QStringList own = ProgramOwnFiles();
    QVector<Item> all;
    QVector<SiteSkip> skipped;
    for (const Row &row : rows) {
        QFileInfo info(row.localPath);
        if (info.isDir()) {
            const SiteFiles site = WalkSite(row.localPath, includeHidden, own);
            for (const SiteFile &f : site.files)
                all.push_back(
                    {f.local, f.remote, f.size, {}, false, false, false, f.stamp}); // stat once a file
            skipped += site.skipped;
        } else if (IsOwnFile(row.localPath, own)) {
            skipped.push_back(
                {row.localPath, QStringLiteral("one of Quillmark's own files, never sent"), true});
        } else if (info.isFile()) {
            all.push_back({row.localPath,
                           plainPath(row.remote) ? row.remote : info.fileName(),
                           info.size(),
                           {},
                           false});
        }
    }
    // The same remote path twice: the later row wins, as it would by overwriting. Another
    // file that was to go there is not sent, and the publish fails: the page would find
    // one of the two in the other's place.
    QHash<QString, int> last;
    for (int i = 0; i < all.size(); ++i)
        last[all[i].remote] = i;
    QVector<Item> plan;
    for (int i = 0; i < all.size(); ++i) {
        const Item &winner = all[last.value(all[i].remote)];
        if (&winner == &all[i])
            plan << all[i];
        else if (QFileInfo(all[i].local) != QFileInfo(winner.local))
            skipped.push_back({all[i].local,
                               QStringLiteral("%1 goes to the same place on the server (%2)")
                                   .arg(winner.local, winner.remote),
                               true});
    }
    for (const SiteSkip &skip : std::as_const(skipped)) {
        const FileResult r = leftOut(skip);
        summary.files << r;
        summary.failed += skip.fault;
        emit engine.status(r.error + QStringLiteral(": ") + r.local);
        emit engine.fileDone(r);
    }
    // Pictures and style sheets first: a visitor never gets a page whose files are missing.
    std::stable_partition(plan.begin(), plan.end(), [](const Item &it) { return !isPage(it.remote); });
    return plan;
}

Manifest loadManifest(const QString &path)
{
    Manifest m;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return m;
    while (!f.atEnd()) {
        QByteArray l = f.readLine();
        if (l.endsWith('\n'))
            l.chop(1);
        if (l.startsWith('#') || l.isEmpty())
            continue;
        const int a = l.indexOf('\t'), b = a < 0 ? -1 : l.indexOf('\t', a + 1);
        if (b < 0)
            continue;
        bool ok = false;
        const qint64 size = l.left(a).toLongLong(&ok);
        if (ok)
            m.insert(QString::fromUtf8(l.mid(b + 1)), {size, l.mid(a + 1, b - a - 1)});
    }
    return m;
}

bool saveManifest(const QString &path, const QString &title, const Manifest &m)
{
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QStringList keys = m.keys();
    keys.sort();
    QByteArray out = "# Quillmark publishing manifest: size, SHA-1, remote path\n# " + title.toUtf8() + '\n';
    for (const QString &k : keys)
        out += QByteArray::number(m[k].size) + '\t' + m[k].hash + '\t' + k.toUtf8() + '\n';
    f.write(out);
    return f.commit();
}

// A run killed while saving a manifest may leave the copy it was writing beside it,
// named as QSaveFile names it ("NAME.manifest.XXXXXX"). Tools read the manifests one
// by one, and that copy's older entries would pass for what the server holds.
void removeUnsavedManifests(const QString &manifest)
{
    const QFileInfo info(manifest);
    QDir folder(info.path());
    // "NAME.??????", matched by hand: a name filter costs a regular expression.
    const QString stem = info.fileName() + QLatin1Char('.');
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (name.size() == stem.size() + 6 && name.startsWith(stem, Qt::CaseInsensitive))
            folder.remove(name);
    }
}

QString targetTitle(const Target &t)
{
    static const char *names[] = {"ftp", "ftp-tls", "sftp", "s3"};
    if (t.protocol == Protocol::S3)
        return QStringLiteral("s3://%1@%2:%3/%4/%5")
            .arg(t.user, hostName(t))
            .arg(effectivePort(t))
            .arg(t.bucket, t.remoteFolder);
    return QStringLiteral("%1://%2@%3:%4/%5")
        .arg(QLatin1String(names[int(effectiveProtocol(t))]), t.user, hostName(t))
        .arg(effectivePort(t))
        .arg(t.remoteFolder);
}

// Executes one command and waits for it, keeping the windows painted.
bool exec(transport::Transport &ctl, const QString &command)
{
    ctl.Execute(command);
    while (ctl.StillExecuting())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return ctl.ResponseCode() == 0;
}

QString output(transport::Transport &ctl)
{
    QString text;
    for (QString piece = ctl.GetChunk(65536); !piece.isEmpty(); piece = ctl.GetChunk(65536))
        text += piece;
    return text;
}

QString report(const QString &message, const char *procedure)
{
    return QStringLiteral("Error Msg: ") + message + QStringLiteral("\r\nProcedure: ") +
           QLatin1String(procedure) + QStringLiteral("\r\n\r\nError Source: FTP Class");
}

const QChar kSep(0);
constexpr qint64 kReadWhole = 1 << 20; // bytes of a file read at once rather than streamed
// Bytes of files read whole that a run keeps to send from memory.
constexpr qint64 kHeldBytes = qint64(64) << 20;
// The pauses before asking a server that answered "421" at the first login again.
constexpr int kFullServerRetryMs[] = {500, 2000};
// A login that takes longer marks a far server, whose folders are listed side by side.
constexpr int kNearLoginMs = 10;

bool connectionGone(int code)
{
    return code != transport::kTransportOk && code != transport::kServerRefused &&
           code != transport::kTransportLocalFile && code != transport::kTransportInternal;
}

} // namespace

bool IsPlainName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('/') || c == QLatin1Char('\\'))
            return false;
    }
    return true;
}

namespace {

// The usual Unix listing line, in printable ASCII with single fields ("-rw-r--r--    1
// 0  0  20480 Dec 07 17:00 name"), read by hand: the same fields ParseListing's
// expression takes from it, at a fraction of the cost. Anything else is left to the
// expression (false).
bool readPlainUnixLine(const QString &line, RemoteEntry &e)
{
    const qsizetype n = line.size();
    const QChar *c = line.constData();
    for (qsizetype i = 0; i < n; ++i) {
        if (c[i].unicode() < 0x20 || c[i].unicode() > 0x7e)
            return false;
    }
    static const QLatin1String kTypes("-dlcbps"), kModes("-rwxsStTl@+.");
    if (n < 11 || !kTypes.contains(c[0]) || c[10] != QLatin1Char(' '))
        return false;
    for (qsizetype i = 1; i < 10; ++i) {
        if (!kModes.contains(c[i]))
            return false;
    }
    qsizetype at = 10;
    // The next field after blanks: [from, to), one or more characters.
    const auto field = [&](qsizetype &from, qsizetype &to) {
        const qsizetype blanks = at;
        while (at < n && c[at] == QLatin1Char(' '))
            ++at;
        from = at;
        while (at < n && c[at] != QLatin1Char(' '))
            ++at;
        to = at;
        return at > blanks && from > blanks && to > from;
    };
    const auto digits = [&](qsizetype from, qsizetype to) {
        return std::all_of(c + from, c + to, [](QChar d) { return d.isDigit(); });
    };
    qsizetype f[7][2];
    for (auto &range : f) {
        if (!field(range[0], range[1]))
            return false;
    }
    const auto length = [&](int k) { return f[k][1] - f[k][0]; };
    // links, owner, group, size, month, day, time
    if (!digits(f[0][0], f[0][1]) || !digits(f[3][0], f[3][1]) || length(4) != 3 ||
        !std::all_of(c + f[4][0], c + f[4][1], [](QChar m) { return m.isLetter(); }) || length(5) > 2 ||
        !digits(f[5][0], f[5][1]))
        return false;
    const qsizetype colon = line.indexOf(QLatin1Char(':'), f[6][0]);
    const bool clock = colon > f[6][0] && colon - f[6][0] <= 2 && f[6][1] - colon == 3 &&
                       digits(f[6][0], colon) && digits(colon + 1, f[6][1]);
    if (!(clock || (length(6) == 4 && digits(f[6][0], f[6][1]))) || at + 1 >= n)
        return false;
    e.name = line.mid(at + 1); // after exactly one blank, blanks of the name kept
    e.size = QStringView(line).sliced(f[3][0], length(3)).toLongLong();
    e.isFolder = c[0] == QLatin1Char('d');
    if (c[0] == QLatin1Char('l'))
        e.name = e.name.section(QStringLiteral(" -> "), 0, 0);
    return true;
}

} // namespace

QVector<RemoteEntry> ParseListing(const QString &listing, QStringList *refused)
{
    static const QRegularExpression unixLine(QStringLiteral(
        "^([-dlcbps])[-rwxsStTl@+.]{9}\\S*\\s+\\d+\\s+(?:\\S+\\s+){1,2}?(\\d+)\\s+"
        "(?:[A-Za-z]{3}\\s+\\d{1,2}|\\d{1,2}\\s+[A-Za-z]{3})\\s+(?:\\d{1,2}:\\d{2}|\\d{4}) (.+)$"));
    // "12-06-26  10:15PM       <DIR>          name" or "... 1234 name"
    static const QRegularExpression dosLine(QStringLiteral(
        "^\\d{2}-\\d{2}-\\d{2,4}\\s+\\d{1,2}:\\d{2}\\s*(?:[AaPp][Mm])?\\s+(<DIR>|\\d+)\\s+(.+)$"));
    QVector<RemoteEntry> out;
    // A lone CR ends a line too: no name may carry a line break into a later command.
    // Cut by hand: a regular expression's split costs more than the lines' parsing.
    QStringList lines;
    for (qsizetype start = 0, i = 0; i <= listing.size(); ++i) {
        if (i < listing.size() && listing[i] != QLatin1Char('\r') && listing[i] != QLatin1Char('\n'))
            continue;
        if (i > start)
            lines << listing.mid(start, i - start);
        if (i + 1 < listing.size() && listing[i] == QLatin1Char('\r') && listing[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    for (const QString &line : std::as_const(lines)) {
        RemoteEntry e;
        const int blank = line.indexOf(' ');
        const QString facts = blank > 0 ? line.left(blank) : QString();
        if (facts.contains('=') && facts.endsWith(';')) {
            // MLSD: "type=file;size=12;modify=...; name"
            e.name = line.mid(blank + 1);
            QString type;
            for (const QString &fact : facts.split(';', Qt::SkipEmptyParts)) {
                const QString key = fact.section('=', 0, 0).toLower();
                const QString value = fact.section('=', 1);
                if (key == QLatin1String("type"))
                    type = value.toLower();
                else if (key == QLatin1String("size") || key == QLatin1String("sizd"))
                    e.size = value.toLongLong();
            }
            if (type == QLatin1String("cdir") || type == QLatin1String("pdir"))
                continue;
            e.isFolder = type == QLatin1String("dir");
        } else if (readPlainUnixLine(line, e)) {
        } else if (const auto m = unixLine.match(line); m.hasMatch()) {
            e.name = m.captured(3);
            e.size = m.captured(2).toLongLong();
            e.isFolder = m.captured(1) == QLatin1String("d");
            if (m.captured(1) == QLatin1String("l"))
                e.name = e.name.section(QStringLiteral(" -> "), 0, 0);
        } else if (const auto d = dosLine.match(line); d.hasMatch()) {
            e.name = d.captured(2);
            e.isFolder = d.captured(1) == QLatin1String("<DIR>");
            e.size = e.isFolder ? -1 : d.captured(1).toLongLong();
        } else {
            e.name = line; // a bare name
        }
        if (e.name == QLatin1String(".") || e.name == QLatin1String(".."))
            continue;
        if (!IsPlainName(e.name)) {
            if (refused)
                *refused << e.name;
            continue;
        }
        out << e;
    }
    return out;
}

QString PlainFailure(int code, const Target &target)
{
    const QString host = hostName(target);
    switch (code) {
    case transport::kTransportLoginFailed:
        if (target.protocol == Protocol::S3)
            return QStringLiteral("Signing in to %1 failed: the access key or secret was refused.").arg(host);
        return QStringLiteral("The server refused the user name or password.");
    case transport::kTransportCannotConnect:
        return QStringLiteral("Could not reach %1 on port %2.").arg(host).arg(effectivePort(target));
    case transport::kTransportNameNotResolved:
        return QStringLiteral("Could not find the server %1.").arg(host);
    case transport::kTransportTimedOut:
        return QStringLiteral("The server %1 did not answer in time.").arg(host);
    case transport::kTransportSecurity:
        return QStringLiteral("The secure connection to %1 could not be set up.").arg(host);
    case transport::kTransportConnectionLost:
        return QStringLiteral("The connection to %1 was lost.").arg(host);
    case transport::kTransportLocalFile:
        return QStringLiteral("A local file could not be read.");
    case transport::kServerRefused:
        return QStringLiteral("The server refused the request.");
    case transport::kTransportTooLarge:
        return QStringLiteral("The server %1 sent far more than expected, so the transfer was stopped.")
            .arg(host);
    default:
        return QStringLiteral("The transfer could not be done.");
    }
}

namespace {

QString bytesText(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    const char *units[] = {"KB", "MB", "GB", "TB"};
    double value = double(bytes) / 1024;
    int unit = 0;
    for (; value >= 1024 && unit < 3; ++unit)
        value /= 1024;
    return QStringLiteral("%1 %2").arg(value, 0, 'f', value < 10 ? 1 : 0).arg(QLatin1String(units[unit]));
}

} // namespace

QString ProgressLine(int filesDone, int filesTotal, qint64 bytesDone, qint64 bytesTotal,
                     qint64 bytesPerSecond, int secondsLeft)
{
    QString line = QStringLiteral("%1 of %2 files, %3 of %4, %5/s")
                       .arg(filesDone)
                       .arg(filesTotal)
                       .arg(bytesText(bytesDone), bytesText(bytesTotal), bytesText(bytesPerSecond));
    if (secondsLeft >= 60)
        line += QStringLiteral(", about %1 min left").arg((secondsLeft + 59) / 60);
    else if (secondsLeft >= 0)
        line += QStringLiteral(", about %1 s left").arg(secondsLeft);
    return line;
}

UploadEngine::UploadEngine(std::function<std::unique_ptr<transport::Transport>()> transportFactory,
                           QObject *parent)
    : QObject(parent), m_factory(std::move(transportFactory))
{
    if (!m_factory)
        m_factory = [this]() -> std::unique_ptr<transport::Transport> {
            if (m_protocol == Protocol::S3)
                return std::make_unique<transport::S3Transport>();
            return std::make_unique<transport::CurlTransport>();
        };
}

UploadEngine::~UploadEngine() = default;

void UploadEngine::cancel()
{
    if (m_running)
        m_cancel = true;
}

QString UploadEngine::manifestPath(const QString &manifestFolder, const Target &target)
{
    const QByteArray key = targetTitle(target).toUtf8();
    return manifestFolder + '/' +
           QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex()) +
           QStringLiteral(".manifest");
}

namespace {

// Makes a remote folder with every parent it lacks, as mkdir -p does; true when the
// server made any of them.
bool makeFolderPath(FTP &ftp, const QString &folder)
{
    QString path = folder.startsWith('/') ? QStringLiteral("/") : QString();
    bool made = false;
    for (const QString &name : folder.split('/', Qt::SkipEmptyParts)) {
        path += name;
        QString ignored; // a refusal is a folder there already; the change into it tells
        ftp.FTPCreateRemoteFolder(path, ignored);
        made = made || ftp.transport().ResponseCode() == transport::kTransportOk;
        path += '/';
    }
    return made;
}

// The server, account and settings of `target`, before the first command.
void configure(FTP &ftp, const Target &target, int timeout)
{
    QString ignored; // setting the parameters cannot fail
    ftp.FTPInit(serverUrl(target), target.user, target.password, qint16(timeout > 0 ? timeout : 60),
                quint16(effectivePort(target)), QString(), ignored);
    ftp.transport().CaCertificates = target.caCertificates;
    ftp.transport().ActiveMode = target.activeMode;
    if (auto *s3 = dynamic_cast<transport::S3Transport *>(&ftp.transport())) {
        s3->Region = target.region;
        s3->Bucket = target.bucket;
        s3->PathStyle = target.pathStyle;
    }
}

// Logs in and enters the remote folder; "" on success, else sentence + report. With
// `created`, a remote folder the server lacks is made first and named there.
// `started` is called once the login is under way.
QString openTarget(FTP &ftp, const Target &target, int timeout, const std::function<void(QString)> &status,
                   QStringList *created = nullptr, std::function<void()> started = {})
{
    // The transports refuse such a login too; this names which part is at fault.
    if (transport::BreaksTheLine(target.user) || transport::BreaksTheLine(target.password)) {
        const bool s3 = target.protocol == Protocol::S3;
        const QString part = transport::BreaksTheLine(target.user) ? (s3 ? "access key" : "user name")
                                                                   : (s3 ? "secret key" : "password");
        return QString::fromLatin1(transport::kCredentialBreaksTheLine).arg(part) + QStringLiteral("\r\n");
    }
    QString err;
    ftp.setStatusSink(status);
    configure(ftp, target, timeout);
    ftp.setCommandStartedSink(std::move(started));
    const bool entered = ftp.FTPChangeRemoteFolder(target.remoteFolder, err);
    ftp.setCommandStartedSink({});
    if (entered)
        return QString();
    if (created && ftp.transport().ResponseCode() == transport::kServerRefused &&
        makeFolderPath(ftp, target.remoteFolder) && ftp.FTPChangeRemoteFolder(target.remoteFolder, err)) {
        *created << target.remoteFolder;
        status(QStringLiteral("created ") + target.remoteFolder);
        return QString();
    }
    const int code = ftp.transport().ResponseCode();
    const QString sentence =
        target.protocol == Protocol::S3 &&
                (code == transport::kServerRefused || code == transport::kTransportInternal)
            ? ftp.transport().ResponseInfo() // names the bucket or the endpoint
        : code == transport::kTransportInternal
            ? QStringLiteral("The server address \"%1\" cannot be used.").arg(target.host)
        : code == transport::kServerRefused
            ? QStringLiteral("The server has no remote folder \"%1\", or refused to open it.")
                  .arg(target.remoteFolder)
            : PlainFailure(code, target);
    return sentence + QStringLiteral("\r\n") + err;
}

} // namespace

QString UploadEngine::testConnection(const Target &target, int timeoutSeconds, bool *ok)
{
    m_protocol = target.protocol;
    FTP ftp(m_factory());
    const QString err = openTarget(ftp, target, timeoutSeconds, [](const QString &) {});
    // Publishing makes a remote folder the server lacks; a test only looks.
    const bool folderRefused = ftp.transport().ResponseCode() == transport::kServerRefused;
    ftp.FTPClose();
    if (ok)
        *ok = err.isEmpty() || folderRefused;
    if (folderRefused)
        return QStringLiteral("Connected to %1, but the remote folder \"%2\" could not be opened; publishing "
                              "creates it if it is missing.")
            .arg(hostName(target), target.remoteFolder);
    if (!err.isEmpty())
        return err.section(QStringLiteral("\r\n"), 0, 0);
    return QStringLiteral("Connected to %1 and opened the remote folder \"%2\".")
        .arg(hostName(target), target.remoteFolder.isEmpty() ? QStringLiteral("/") : target.remoteFolder);
}

// One publish and what it learns on the way, in three steps: plan (what the rows
// hold, what the server and the manifest already have, what must go), send, and
// prune what is no longer used.
class UploadEngine::Run {
public:
    Run(UploadEngine &owner, const Target &target, const Options &options, Summary &summary)
        : engine(owner), target(target), options(options), summary(summary), ftp(owner.m_factory()),
          ctl(ftp.transport())
    {
    }

    // False when the run ends here: it failed, or it was a dry run.
    bool plan(const QVector<Row> &rows)
    {
        // The server greets and answers the login while the site is walked and the
        // manifest read; openTarget below takes the answer.
        configure(ftp, target, options.timeoutSeconds);
        // Every connection sends the files read here from memory (the others copy this
        // setting); `held` is filled in before the first file goes, and not changed after.
        ctl.LocalBytes = [this](const QString &local) { return held.value(local); };
        ftp.startAhead(QStringLiteral("CD ") + target.remoteFolder);
        QElapsedTimer sinceLogin;
        sinceLogin.start();
        items = planRows(rows, options.includeHidden, summary, engine);
        // The files are read while the server answers the login and the listings; the
        // cache of their hashes is saved while they go.
        QVector<Read> reads(items.size());
        std::promise<void> read;
        std::future<void> hashing = read.get_future();
        savingCache = std::async(
            std::launch::async, [this, &reads, read = std::move(read)]() mutable { readItems(reads, read); });
        struct WaitForReads { // whatever way the plan ends: `reads` is filled in by then
            std::future<void> &reading;
            ~WaitForReads() { reading.wait(); }
        } waitForReads{hashing};
        manifestFile =
            options.manifestFolder.isEmpty() ? QString() : manifestPath(options.manifestFolder, target);
        manifest = manifestFile.isEmpty() ? Manifest() : loadManifest(manifestFile);
        if (!manifestFile.isEmpty() && !options.dryRun)
            removeUnsavedManifests(manifestFile);

        QSet<QString> planned;
        for (const Item &it : items)
            planned.insert(it.remote);
        for (auto it = manifest.cbegin(); it != manifest.cend(); ++it) {
            if (!planned.contains(it.key()))
                summary.noLongerUsed << it.key();
        }
        summary.noLongerUsed.sort();

        // One listing per remote folder the plan touches, parents before children.
        QStringList folders;
        for (const Item &it : items) {
            for (QString f = folderOf(it.remote);; f = folderOf(f)) {
                if (!folders.contains(f))
                    folders << f;
                if (f.isEmpty())
                    break;
            }
        }
        std::sort(folders.begin(), folders.end(), [](const QString &a, const QString &b) {
            return a.count('/') != b.count('/') ? a.count('/') < b.count('/') : a < b;
        });
        if (folders.isEmpty())
            folders << QString();

        emit engine.progress(0, 0, 0, 0, QString());
        // Every connection the listings will use logs in at once when files will surely
        // go (the manifest lacks some) or the server is far: it costs the round trips of
        // one login, not of two one after another. Otherwise a near server lists on the
        // run's own connection sooner than others log in (each one a process on many
        // servers), so they come only once its login took a while. The run's own goes
        // first, for a server that lets in only the first few.
        const bool willSend = !options.onlyChanged ||
                              std::any_of(items.cbegin(), items.cend(),
                                          [this](const Item &it) { return !manifest.contains(it.remote); });
        const auto openAll = [this, wanted = qMin<qsizetype>(connections(), folders.size())] {
            openLanes(wanted);
        };
        QTimer farServer;
        farServer.setSingleShot(true);
        QObject::connect(&farServer, &QTimer::timeout, openAll);
        QString openError = openTarget(
            ftp, target, options.timeoutSeconds, [this](const QString &line) { say(line); },
            options.dryRun ? nullptr : &summary.createdFolders,
            [&] {
                // The login began before the walk, so its time counts from then; its end
                // is seen only now, so one under way that long may have taken that long.
                const qint64 waited = sinceLogin.elapsed();
                willSend || (waited >= kNearLoginMs && ctl.StillExecuting())
                    ? openAll()
                    : farServer.start(int(qMax<qint64>(0, kNearLoginMs - waited)));
            });
        farServer.stop();
        const bool sideBySide = lanes.size() > 1; // the others logged in or are logging in
        if (!openError.isEmpty() && lanes.size() > 1 && ctl.ResponseCode() != transport::kServerRefused &&
            lanesLetIn()) {
            // A server that allows fewer connections let the others in first: they make
            // way, and the run's own connection tries again.
            closeLanes();
            lanes.resize(1);
            openError = openTarget(
                ftp, target, options.timeoutSeconds, [this](const QString &line) { say(line); },
                options.dryRun ? nullptr : &summary.createdFolders);
        }
        // A server at its limit of connections may still count those of a run stopped a
        // moment ago: it is asked again a little later before the publish gives up.
        for (const int waitMs : kFullServerRetryMs) {
            if (openError.isEmpty() || engine.m_cancel ||
                !ctl.ResponseInfo().startsWith(QLatin1String("421")))
                break;
            closeLanes();
            lanes.resize(std::min<size_t>(lanes.size(), 1)); // the run's own, if it has one yet
            say(QStringLiteral("The server has no room for another connection yet (%1); trying again.")
                    .arg(ctl.ResponseInfo().simplified()));
            QEventLoop pause;
            QTimer::singleShot(waitMs, &pause, &QEventLoop::quit);
            pause.exec();
            openError = openTarget(
                ftp, target, options.timeoutSeconds, [this](const QString &line) { say(line); },
                options.dryRun ? nullptr : &summary.createdFolders);
        }
        // A dry run makes nothing: a missing remote folder means every file would go.
        const bool folderMissing =
            !openError.isEmpty() && options.dryRun && ctl.ResponseCode() == transport::kServerRefused;
        if (!openError.isEmpty() && !folderMissing) {
            summary.error = openError;
            closeLanes();
            ftp.FTPClose();
            return false;
        }
        summary.connected = true;
        if (folderMissing)
            say(QStringLiteral("The remote folder \"%1\" does not exist yet; publishing creates it.")
                    .arg(target.remoteFolder));
        // Connections that logged in before the remote folder was made go into it now.
        for (auto &lane : lanes) {
            if (lane->state == Lane::Outside && !folderMissing)
                enter(*lane);
        }
        // Side by side over the connections the send will use; a dry run into a folder
        // that does not exist yet has nothing to list.
        if (!folderMissing) {
            openLanes(sideBySide ? qMin<qsizetype>(connections(), folders.size()) : 1);
            if (!listFolders(folders)) {
                closeLanes();
                return false;
            }
        }

        hashing.wait();
        for (int i = 0; i < items.size(); ++i) {
            Item &it = items[i];
            it.hash = reads[i].hash;
            it.size = reads[i].size >= 0 ? reads[i].size : it.size;
            it.stageWhenSent = reads[i].stageWhenSent;
            it.stamp = reads[i].stamp;
            if (!reads[i].staged.isEmpty()) {
                stagedFrom.insert(reads[i].staged, it.local);
                it.local = reads[i].staged;
            }
            if (!reads[i].bytes.isNull())
                held.insert(it.local, std::move(reads[i].bytes));
        }
        for (Item &it : items) {
            const auto known = manifest.constFind(it.remote);
            const bool same = known != manifest.cend() && known->size == it.size && known->hash == it.hash;
            const auto folder = listed.constFind(folderOf(it.remote));
            bool onServer = false;
            if (folder != listed.cend()) {
                const auto e = folder->constFind(nameOf(it.remote));
                it.replaces = e != folder->cend();
                // Without a size from the server the file is sent again rather than trusted.
                onServer = it.replaces && !e->isFolder && e->size == it.size;
            }
            it.send = !options.onlyChanged || !same || !onServer;
            if (it.send) {
                ++toSend;
                bytesTotal += it.size;
            }
        }

        // Pictures and style sheets before pages, so no page goes live before its files;
        // in each group the files the server does not have yet first.
        std::stable_sort(items.begin(), items.end(), [](const Item &a, const Item &b) {
            const int ka = isPage(a.remote) * 2 + a.replaces, kb = isPage(b.remote) * 2 + b.replaces;
            return ka < kb;
        });

        if (options.dryRun) {
            for (const Item &it : items) {
                FileResult r{it.local, it.remote, it.send ? Action::WouldSend : Action::Unchanged, QString(),
                             it.size};
                it.send ? void() : void(++summary.unchanged);
                summary.files << r;
                emit engine.fileDone(r);
            }
            closeLanes();
            ftp.FTPClose();
            return false;
        }

        for (Item &it : items) {
            if (it.send && it.stageWhenSent)
                stage(it);
        }
        return true;
    }

    // False when the run ends here, before anything was sent.
    bool send()
    {
        // The manifest stops naming what this run may change before anything is sent: a
        // run killed halfway must leave no entry that claims a version the server lacks.
        bool manifestChanged = false;
        for (const Item &it : items)
            manifestChanged = (it.send && manifest.remove(it.remote) > 0) || manifestChanged;
        if (manifestChanged && !saveOrForget()) {
            summary.error =
                QStringLiteral("The list of sent files in %1 could not be updated, so nothing was sent.")
                    .arg(manifestFile);
            closeLanes();
            ftp.FTPClose();
            return false;
        }

        // More connections log in while this one clears up, makes folders and probes.
        openLanes(qMin(connections(), toSend));

        // Temporary files an interrupted publish left behind.
        for (auto f = listed.cbegin(); f != listed.cend(); ++f) {
            for (const RemoteEntry &e : *f) {
                if (!e.isFolder && e.name.startsWith(kTemporaryPrefix))
                    exec(ctl, QStringLiteral("Delete") + kSep + joinRemote(f.key(), e.name));
            }
        }

        // Folders the server does not have yet, parents first, before any file goes there.
        QStringList toMake;
        for (const Item &it : std::as_const(items)) {
            const QString folder = folderOf(it.remote);
            if (!it.send || existing.contains(folder) || toMake.contains(folder))
                continue;
            QStringList chain;
            for (QString f = folder; !f.isEmpty() && !existing.contains(f) && !toMake.contains(f);
                 f = folderOf(f))
                chain.prepend(f);
            toMake += chain;
        }
        makeFolders(toMake);

        // Progress of a file's bytes is only worth waking the window for on big files.
        for (auto &lane : lanes) {
            Lane *l = lane.get();
            l->ctl->ProgressMinBytes = 256 * 1024;
            l->ctl->Progress = [this, l](qint64 now, qint64) {
                l->moved = now;
                emit engine.progress(done, toSend, bytesDone + inFlight(), bytesTotal, QString());
            };
        }

        // A server that cannot rename sends files in place only when allowed to.
        // New files go first, straight to their names (no live page links to them yet),
        // so whether the server renames is found out beforehand with a file of our own.
        const auto firstSend =
            std::find_if(items.cbegin(), items.cend(), [](const Item &it) { return it.send; });
        const auto firstReplacement =
            std::find_if(items.cbegin(), items.cend(), [](const Item &it) { return it.send && it.replaces; });
        QTemporaryFile probe;
        if (firstReplacement != items.cend() && firstSend != firstReplacement && probe.open() &&
            probe.write("quillmark") > 0 && probe.flush()) {
            const QString folder = folderOf(firstReplacement->remote);
            const QString sent = joinRemote(folder, kTemporaryPrefix + QStringLiteral("probe")),
                          renamed = joinRemote(folder, kTemporaryPrefix + QStringLiteral("probe-renamed"));
            const bool renames =
                exec(ctl, QStringLiteral("Put") + kSep + probe.fileName() + kSep + sent + kSep + renamed);
            const bool refused = !renames && ctl.ResponseCode() == transport::kTransportRenameRefused;
            exec(ctl, QStringLiteral("Delete") + kSep + (renames ? renamed : sent));
            if (refused)
                mayGoDirect();
        }

        for (int i = 0; i < items.size(); ++i) {
            if (items[i].send)
                pending.push_back(i);
        }

        // Sent files wait in `unconfirmed` until a listing shows the server holds them
        // whole; only then do they enter the manifest.
        sinceConfirmed.start();
        sending.start();
        for (;;) {
            bool moved = collect();
            const bool stopping = engine.m_cancel || summary.renameRefused || !summary.error.isEmpty();
            if (stopping)
                withdrawQueued();
            if (engine.m_cancel && !pending.empty())
                summary.cancelled = true;
            if (!stopping)
                moved = dispatch() || moved;
            const bool busy = std::any_of(lanes.cbegin(), lanes.cend(),
                                          [](const auto &l) { return l->state == Lane::Busy; });
            if (!busy && (stopping || pending.empty()))
                break;
            if (!moved)
                QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
        if (!connectionLost && !engine.m_cancel)
            prefetchListings();
        closeLanes();
        for (const Item &it : std::as_const(items)) {
            if (it.send)
                continue;
            FileResult r{it.local, it.remote, Action::Unchanged, QString(), it.size, it.hash};
            ++summary.unchanged;
            summary.files << r;
            emit engine.fileDone(r);
        }
        if (toSend > 0)
            reportRate(true);
        if (!connectionLost)
            confirmSent();

        return true;
    }

    void prune()
    {
        // An empty list is far likelier a mistake than a wish to empty the site.
        const bool allSent =
            summary.failed == 0 && !summary.cancelled && summary.error.isEmpty() && !items.isEmpty();
        bool removedAny = false;
        if (options.removeUnused && allSent && !summary.noLongerUsed.isEmpty() &&
            (summary.noLongerUsed.size() <= 10 || !engine.m_confirmRemoval ||
             engine.m_confirmRemoval(summary.noLongerUsed))) {
            for (const QString &remote : summary.noLongerUsed) {
                if (exec(ctl, QStringLiteral("Delete") + kSep + remote)) {
                    summary.removed << remote;
                    manifest.remove(remote);
                    removedAny = true;
                } else if (ctl.ResponseCode() == transport::kServerRefused) {
                    manifest.remove(remote); // gone already, or never to be removed by us
                    removedAny = true;
                }
            }
        }
        ftp.FTPClose();
        if (removedAny && !saveOrForget())
            say(QStringLiteral("The list of sent files could not be saved in %1; the next publish sends "
                               "everything again.")
                    .arg(manifestFile));
    }

    // Results name the user's page, not its staged copy.
    void unstageResults()
    {
        for (FileResult &r : summary.files)
            r.local = stagedFrom.value(r.local, r.local);
    }

private:
    // One connection to the server and the file it is sending.
    struct Lane {
        std::unique_ptr<FTP> own; // null for the run's own connection
        transport::Transport *ctl = nullptr;
        // Outside: logged in, but the remote folder was not there yet.
        enum State { Opening, Outside, Idle, Busy, Gone } state = Idle;
        bool entered = false;   // it tried the remote folder a second time
        int item = -1;          // index into items of the file under way
        qint64 moved = 0;       // its bytes sent so far
        bool temporary = false; // it goes under a temporary name
        bool retire = false;    // closes after the file under way
        int next = -1;          // index into items of the file queued to follow it
        bool nextTemporary = false;
        bool confirming = false; // it lists a folder to confirm the files sent there
        bool ahead = false;      // it lists a folder for the last confirmation
        int sentBefore = 0;      // files sent to that folder when its listing began
        QString folder;          // the folder being listed
    };

    // Pictures and styles new to the server, then those replacing others, then new
    // pages, then replaced ones: no file goes while one of an earlier group is under way.
    static int group(const Item &it) { return isPage(it.remote) * 2 + it.replaces; }

    // A page replacing a live one goes only when the files it may need went: after a
    // failure, the live page stays as it was rather than point at what is not there.
    bool heldBack(int index) const
    {
        return group(items[index]) == 3 &&
               (options.failedBefore ||
                std::any_of(summary.files.cbegin(), summary.files.cend(), [](const FileResult &r) {
                    return r.action == Action::Failed && !isPage(r.remote.isEmpty() ? r.local : r.remote);
                }));
    }
    void holdBack(int index)
    {
        const Item &it = items[index];
        ++done;
        ++summary.failed;
        const FileResult r{it.local,
                           it.remote,
                           Action::Failed,
                           QStringLiteral("Held back: a file the page may need was not sent, so the page on "
                                          "the server stays as it was."),
                           it.size,
                           {}};
        summary.files << r;
        emit engine.fileDone(r);
        emit engine.progress(done, toSend, bytesDone + inFlight(), bytesTotal, QString());
    }

    // Active mode stays on one connection: with several side by side, libcurl 7.88 loses
    // the control connection's address for PORT ("sa_addr inet_ntop() failed").
    int connections() const
    {
        return target.activeMode ? 1 : qBound(1, options.connections, kMaxConnections);
    }

    // Adds connections up to `wanted` in all; the first is the run's own.
    void openLanes(int wanted)
    {
        if (lanes.empty()) {
            lanes.push_back(std::make_unique<Lane>());
            lanes.back()->ctl = &ctl;
        }
        while (int(lanes.size()) < wanted) {
            auto lane = std::make_unique<Lane>();
            lane->own = std::make_unique<FTP>(engine.m_factory());
            lane->ctl = &lane->own->transport();
            // The same server, account and settings as the run's own connection.
            static_cast<transport::Transport &>(*lane->ctl) = static_cast<const transport::Transport &>(ctl);
            const auto *s3 = dynamic_cast<const transport::S3Transport *>(&ctl);
            if (auto *mine = dynamic_cast<transport::S3Transport *>(lane->ctl); s3 && mine) {
                // The bucket and region are the S3 transport's own, not the base's.
                mine->Region = s3->Region;
                mine->Bucket = s3->Bucket;
                mine->PathStyle = s3->PathStyle;
                mine->MultipartThreshold = s3->MultipartThreshold;
                mine->PartSize = s3->PartSize;
                mine->ListPageSize = s3->ListPageSize;
            }
            lane->ctl->Progress = nullptr;
            lane->state = Lane::Opening;
            lane->ctl->Execute(QStringLiteral("CD ") + target.remoteFolder);
            lanes.push_back(std::move(lane));
        }
    }

    void enter(Lane &lane)
    {
        lane.entered = true;
        lane.state = Lane::Opening;
        lane.ctl->Execute(QStringLiteral("CD ") + target.remoteFolder);
    }

    // A connection's login and change into the remote folder ended.
    void opened(Lane &lane)
    {
        const int code = lane.ctl->ResponseCode();
        if (code == transport::kTransportOk) {
            lane.state = Lane::Idle;
        } else if (code == transport::kServerRefused && !lane.entered) {
            // It came before the run's own connection made the remote folder.
            lane.state = Lane::Outside;
            if (summary.connected)
                enter(lane);
        } else {
            dropLane(lane, lane.ctl->ResponseInfo());
        }
    }

    // Whether any other connection got in, once all have answered.
    bool lanesLetIn()
    {
        const auto answering = [this] {
            return std::any_of(lanes.cbegin(), lanes.cend(),
                               [](const auto &l) { return l->ctl->StillExecuting(); });
        };
        while (answering())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        return std::any_of(lanes.cbegin(), lanes.cend(), [](const auto &l) {
            return l->own && (l->ctl->ResponseCode() == transport::kTransportOk ||
                              l->ctl->ResponseCode() == transport::kServerRefused);
        });
    }

    // The other connections close; the run's own stays for the prune step.
    void closeLanes()
    {
        for (auto &lane : lanes) {
            lane->ctl->Progress = nullptr;
            if (lane->own && lane->state != Lane::Gone)
                lane->own->FTPClose();
            if (lane->own)
                lane->state = Lane::Gone;
        }
    }

    // Runs folder commands side by side over the connections until `queue` is empty
    // and none is running. `ended` takes each lane whose command ended (false there
    // ends the run: returns false); `start` gives an idle lane the next command, and
    // says whether it took a folder from the queue.
    template <typename Ended, typename Start>
    bool runFolderCommands(const std::deque<QString> &queue, Ended ended, Start start)
    {
        for (;;) {
            bool moved = false;
            for (auto &lane : lanes) {
                if ((lane->state != Lane::Opening && lane->state != Lane::Busy) ||
                    lane->ctl->StillExecuting())
                    continue;
                moved = true;
                if (lane->state == Lane::Opening) {
                    opened(*lane);
                    continue;
                }
                lane->state = Lane::Idle;
                if (!ended(*lane))
                    return false;
            }
            for (auto &lane : lanes)
                while (lane->state == Lane::Idle && start(*lane))
                    moved = true;
            const bool busy = std::any_of(lanes.cbegin(), lanes.cend(),
                                          [](const auto &l) { return l->state == Lane::Busy; });
            if (queue.empty() && !busy)
                return true;
            if (!moved)
                QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
    }

    // One listing per folder, a folder only once its parent was seen; false when the
    // run ends (a listing failed on the run's own connection for another reason than
    // a refusal).
    bool listFolders(const QStringList &folders)
    {
        std::deque<QString> queue(folders.cbegin(), folders.cend());
        const auto ended = [&](Lane &lane) {
            transport::Transport &c = *lane.ctl;
            const QString f = lane.folder;
            if (c.ResponseCode() == transport::kTransportOk) {
                readListing(c, f, listed[f]);
                existing.insert(f);
            } else if (c.ResponseCode() == transport::kServerRefused) {
                listed.remove(f);
                missing.insert(f);
            } else if (lane.own) {
                queue.push_front(f); // again, on another connection
                dropLane(lane, c.ResponseInfo());
            } else {
                summary.error = PlainFailure(c.ResponseCode(), target) + QStringLiteral("\r\n") +
                                report(c.ResponseInfo(), "FTPList");
                ftp.FTPClose();
                return false;
            }
            return true;
        };
        // A folder goes without waiting for its parent's listing: a missing one is
        // refused like any other.
        const auto start = [&](Lane &lane) {
            if (queue.empty())
                return false;
            const QString f = queue.front();
            queue.pop_front();
            if (!f.isEmpty() && missing.contains(folderOf(f))) {
                missing.insert(f); // its parent is missing, so it is too
                return true;
            }
            lane.state = Lane::Busy;
            lane.folder = f;
            lane.ctl->Execute(QStringLiteral("List") + kSep + f);
            return true;
        };
        return runFolderCommands(queue, ended, start);
    }

    // Makes the folders side by side over the connections, each once its parent is
    // there. A refusal is a folder there already; a real problem shows when files go.
    void makeFolders(const QStringList &folders)
    {
        std::deque<QString> queue(folders.cbegin(), folders.cend());
        const auto ended = [&](Lane &lane) {
            const int code = lane.ctl->ResponseCode();
            if (lane.own && code != transport::kTransportOk && code != transport::kServerRefused) {
                queue.push_front(lane.folder); // again, on another connection
                dropLane(lane, lane.ctl->ResponseInfo());
            } else {
                existing.insert(lane.folder);
            }
            return true;
        };
        const auto making = [this](const QString &f) {
            return std::any_of(lanes.cbegin(), lanes.cend(),
                               [&](const auto &l) { return l->state == Lane::Busy && l->folder == f; });
        };
        const auto start = [&](Lane &lane) {
            // The first folder whose parent is there (or not being made).
            const auto ready = std::find_if(queue.begin(), queue.end(), [&](const QString &f) {
                return !making(folderOf(f)) &&
                       std::find(queue.begin(), queue.end(), folderOf(f)) == queue.end();
            });
            if (ready == queue.end())
                return false;
            const QString f = *ready;
            queue.erase(ready);
            lane.state = Lane::Busy;
            lane.folder = f;
            say(QStringLiteral("Creating Remote Folder ") + f);
            lane.ctl->Execute(QStringLiteral("MKDIR ") + f);
            return true;
        };
        runFolderCommands(queue, ended, start);
    }

    // The listings the last confirmation needs, side by side over the connections; a
    // folder whose listing fails here is listed again by the run's own connection.
    void prefetchListings()
    {
        QStringList folders;
        for (int index : std::as_const(unconfirmed)) {
            const QString f = folderOf(sentItems[index].remote);
            if (!folders.contains(f) && !prefetched.contains(f))
                folders << f;
        }
        std::deque<QString> queue(folders.cbegin(), folders.cend());
        for (;;) {
            bool moved = false;
            for (auto &lane : lanes) {
                if (lane->state != Lane::Busy || lane->ctl->StillExecuting())
                    continue;
                moved = true;
                lane->state = Lane::Idle;
                if (lane->ctl->ResponseCode() == transport::kTransportOk)
                    readListing(*lane->ctl, lane->folder, prefetched[lane->folder]);
            }
            for (auto &lane : lanes) {
                if (lane->state != Lane::Idle || queue.empty() || lane->retire)
                    continue;
                moved = true;
                lane->state = Lane::Busy;
                lane->folder = queue.front();
                queue.pop_front();
                lane->ctl->Execute(QStringLiteral("List") + kSep + lane->folder);
            }
            const bool busy = std::any_of(lanes.cbegin(), lanes.cend(),
                                          [](const auto &l) { return l->state == Lane::Busy; });
            if (queue.empty() && !busy)
                return;
            if (!moved)
                QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
    }

    int liveLanes() const
    {
        return int(std::count_if(lanes.cbegin(), lanes.cend(),
                                 [](const auto &l) { return l->state != Lane::Gone; }));
    }

    // A server that allows fewer connections (a "421" or a refused connection) gets
    // one fewer; the run's own connection stays, as it lists and confirms.
    void dropLane(Lane &failed, const QString &why)
    {
        Lane *lane = &failed;
        if (!lane->own) {
            for (auto it = lanes.rbegin(); it != lanes.rend() && lane == &failed; ++it) {
                if ((*it)->own && (*it)->state != Lane::Gone && (*it)->state != Lane::Busy)
                    lane = it->get();
            }
            if (lane == &failed) {
                // The others are all sending: the last one stops after its file.
                for (auto it = lanes.rbegin(); it != lanes.rend(); ++it) {
                    if ((*it)->own && (*it)->state == Lane::Busy && !(*it)->retire) {
                        (*it)->retire = true;
                        withdrawQueued(**it);
                        break;
                    }
                }
                return;
            }
        }
        lane->state = Lane::Gone;
        lane->own->FTPClose();
        const int left = liveLanes();
        say(QStringLiteral("The server would not take one more connection (%1); going on with %2.")
                .arg(why.isEmpty() ? QStringLiteral("refused") : why.simplified(),
                     left == 1 ? QStringLiteral("one connection")
                               : QStringLiteral("%1 connections").arg(left)));
    }

    // Files whose sends ended; false when none did.
    bool collect()
    {
        bool moved = false;
        for (auto &lane : lanes) {
            if ((lane->state != Lane::Opening && lane->state != Lane::Busy) || lane->ctl->StillExecuting())
                continue;
            moved = true;
            if (lane->state == Lane::Busy && lane->confirming)
                confirmedFolder(*lane);
            else if (lane->state == Lane::Busy && lane->ahead)
                listedAhead(*lane);
            else if (lane->state != Lane::Busy)
                opened(*lane);
            else {
                finishFile(*lane);
                if (lane->next >= 0)
                    takeQueued(*lane);
            }
        }
        return moved;
    }

    // Starts files on idle connections; false when it started none.
    bool dispatch()
    {
        bool moved = false;
        for (auto &lane : lanes) {
            if (lane->state != Lane::Idle || engine.m_cancel)
                continue;
            if (pending.empty()) {
                moved = listAhead(*lane) || moved;
                continue;
            }
            const int next = pending.front();
            if (std::any_of(lanes.cbegin(), lanes.cend(), [&](const auto &l) {
                    return sendingFile(*l) && group(items[l->item]) < group(items[next]);
                }))
                break;
            if (heldBack(next)) {
                pending.pop_front();
                holdBack(next);
                moved = true;
                continue;
            }
            // Now and then the files sent so far are confirmed, so that a run stopped
            // later does not send them again; not so often that it slows the run, nor
            // before sending them again would cost more than the confirmation itself.
            // The run's own connection lists while the others go on sending.
            const qint64 since = sinceConfirmed.elapsed();
            if (!lane->own && toConfirm.empty() && since >= options.confirmAfterMs &&
                (unconfirmed.size() >= 100 || since > confirmEvery)) {
                confirmTook.start();
                QHash<QString, QVector<int>> byFolder;
                for (int index : std::as_const(unconfirmed))
                    byFolder[folderOf(sentItems[index].remote)] << index;
                unconfirmed.clear();
                for (auto f = byFolder.cbegin(); f != byFolder.cend(); ++f)
                    toConfirm.emplace_back(f.key(), f.value());
                listToConfirm(*lane);
                moved = true;
                continue;
            }
            pending.pop_front();
            startFile(*lane, next);
            moved = true;
        }
        return queueNext() || moved;
    }

    // A connection sending a file is given the next one too, which it starts the
    // moment its file went well, without waiting for this thread in between. Only a
    // file of the group under way, and none while a confirmation is due: that needs a
    // connection left idle.
    bool queueNext()
    {
        bool moved = false;
        for (auto &lane : lanes) {
            if (pending.empty() || engine.m_cancel)
                break;
            if (!sendingFile(*lane) || lane->next >= 0 || lane->retire)
                continue;
            const int next = pending.front();
            const qint64 since = sinceConfirmed.elapsed();
            if (heldBack(next) || (toConfirm.empty() && since >= options.confirmAfterMs &&
                                   (unconfirmed.size() >= 100 || since > confirmEvery)))
                break;
            if (std::any_of(lanes.cbegin(), lanes.cend(), [&](const auto &l) {
                    return (sendingFile(*l) && group(items[l->item]) != group(items[next])) ||
                           (l->next >= 0 && group(items[l->next]) != group(items[next]));
                }))
                break;
            bool temporary = false;
            if (!lane->ctl->ExecuteNext(putCommand(next, temporary)))
                continue;
            pending.pop_front();
            lane->next = next;
            lane->nextTemporary = temporary;
            announce(items[next]);
            moved = true;
        }
        return moved;
    }

    // The queued file of a connection whose file ended goes on under way there, or,
    // when it never started, back to the front of the files to go.
    void takeQueued(Lane &lane)
    {
        const int next = std::exchange(lane.next, -1);
        if (lane.ctl->TakeNext()) {
            lane.state = Lane::Busy;
            lane.item = next;
            lane.moved = 0;
            lane.temporary = lane.nextTemporary;
            return;
        }
        pending.push_front(next);
        if (lane.retire && lane.own && lane.state != Lane::Gone)
            retireLane(lane);
    }

    // Queued files that have not started wait again with the others.
    void withdrawQueued()
    {
        for (auto &lane : lanes)
            withdrawQueued(*lane);
    }

    void withdrawQueued(Lane &lane)
    {
        if (lane.next >= 0 && lane.ctl->WithdrawNext())
            pending.push_front(std::exchange(lane.next, -1));
    }

    static bool sendingFile(const Lane &lane)
    {
        return lane.state == Lane::Busy && !lane.confirming && !lane.ahead;
    }

    // With no file left to start, an idle connection lists a folder whose files have
    // all gone, for the last confirmation, while the others finish theirs.
    bool listAhead(Lane &lane)
    {
        if (lane.retire || connectionLost)
            return false;
        for (int index : std::as_const(unconfirmed)) {
            const QString f = folderOf(sentItems[index].remote);
            const bool busy = std::any_of(lanes.cbegin(), lanes.cend(), [&](const auto &l) {
                return (l->ahead && l->state == Lane::Busy && l->folder == f) ||
                       (sendingFile(*l) && folderOf(items[l->item].remote) == f);
            });
            if (busy || prefetched.contains(f))
                continue;
            lane.state = Lane::Busy;
            lane.ahead = true;
            lane.moved = 0;
            lane.folder = f;
            lane.sentBefore = sentInto.value(f);
            lane.ctl->Execute(QStringLiteral("List") + kSep + f);
            return true;
        }
        return false;
    }

    // Kept for the last confirmation unless a file went to the folder meanwhile.
    void listedAhead(Lane &lane)
    {
        lane.state = Lane::Idle;
        lane.ahead = false;
        if (lane.ctl->ResponseCode() == transport::kTransportOk &&
            sentInto.value(lane.folder) == lane.sentBefore) {
            QHash<QString, RemoteEntry> names;
            readListing(*lane.ctl, lane.folder, names);
            prefetched.insert(lane.folder, names);
        }
        if (lane.retire && lane.own)
            retireLane(lane);
    }

    void retireLane(Lane &lane)
    {
        lane.state = Lane::Gone;
        lane.own->FTPClose();
        say(QStringLiteral("One connection fewer from now on: %1 left.").arg(liveLanes()));
    }

    void startFile(Lane &lane, int index)
    {
        lane.state = Lane::Busy;
        lane.item = index;
        lane.moved = 0;
        announce(items[index]);
        lane.ctl->Execute(putCommand(index, lane.temporary));
    }

    void announce(const Item &it)
    {
        emit engine.progress(done, toSend, bytesDone + inFlight(), bytesTotal, it.local);
        say(QStringLiteral("Uploading File : \r\n") + it.local);
    }

    // The command that sends items[index]; `temporary`: under a temporary name.
    QString putCommand(int index, bool &temporary) const
    {
        const Item &it = items[index];
        // A replacement arrives whole under a temporary name, then is renamed: no visitor
        // gets half a file.
        temporary = !direct && it.replaces;
        const QString name = temporary ? kSep + temporaryOf(it.remote) : QString();
        return QStringLiteral("Put") + kSep + it.local + name + kSep + it.remote;
    }

    static QString temporaryOf(const QString &remote)
    {
        return joinRemote(folderOf(remote), kTemporaryPrefix + nameOf(remote));
    }

    void finishFile(Lane &lane)
    {
        transport::Transport &c = *lane.ctl;
        const Item it = items[lane.item];
        const int index = lane.item;
        lane.state = Lane::Idle;
        lane.moved = 0;
        bool ok = c.ResponseCode() == transport::kTransportOk;
        // "421" (too many connections, or idle too long) or a connection refused or cut.
        const bool refusedConnection = c.ResponseInfo().startsWith(QLatin1String("421")) ||
                                       c.ResponseCode() == transport::kTransportCannotConnect ||
                                       c.ResponseCode() == transport::kTransportConnectionLost;
        if (lane.retire && lane.own && lane.state != Lane::Gone && lane.next < 0)
            retireLane(lane); // else once its queued file is settled
        if (!ok && refusedConnection && liveLanes() > 1) {
            // The file goes again on another connection.
            pending.push_front(index);
            dropLane(lane, c.ResponseInfo());
            return;
        }
        QString sentence; // a failure found out here, not by the transport
        if (!ok && lane.temporary && c.ResponseCode() == transport::kTransportRenameRefused) {
            // A server that kept nothing refuses the rename too: only a temporary
            // file that arrived whole shows the server cannot rename.
            const QString folder = folderOf(it.remote), temporary = kTemporaryPrefix + nameOf(it.remote);
            QHash<QString, RemoteEntry> names;
            const bool arrived = listFolder(c, folder, names) && names.value(temporary).size == it.size;
            exec(c, QStringLiteral("Delete") + kSep + temporaryOf(it.remote));
            if (!arrived)
                sentence = keptSentence(it.remote, qMax<qint64>(0, names.value(temporary).size));
            else if (!direct && !mayGoDirect()) // asked once, whichever connection finds out
                return;
            else
                ok = exec(c, QStringLiteral("Put") + kSep + it.local + kSep + it.remote);
        }
        // A file sent from the disk must still be the one hashed: one saved meanwhile may
        // have reached the server part old, part new.
        FileStamp now;
        if (ok && !isPage(it.remote) && !held.contains(it.local) && it.stamp.size >= 0 &&
            (!StampOf(it.local, now) || now != it.stamp)) {
            ok = false;
            sentence = QStringLiteral("%1 changed while it was being sent, so the server may hold neither "
                                      "form of it. Publish again.")
                           .arg(it.local);
        }
        ++done;
        FileResult r{it.local, it.remote, ok ? Action::Sent : Action::Failed,
                     sentence, it.size,   ok ? it.hash : QByteArray()};
        if (ok) {
            ++summary.sent;
            bytesDone += it.size;
            unconfirmed << summary.files.size();
            ++sentInto[folderOf(it.remote)];
            prefetched.remove(folderOf(it.remote)); // listed before this file arrived
            sentItems.insert(summary.files.size(), it);
            if (direct || !it.replaces)
                sentDirect.insert(summary.files.size());
        } else {
            ++summary.failed;
            const int code = c.ResponseCode();
            const QString info = c.ResponseInfo().isEmpty()
                                     ? QStringLiteral("Error during FTP Put operation.")
                                     : c.ResponseInfo();
            if (r.error.isEmpty())
                r.error = (code == transport::kServerRefused
                               ? QStringLiteral("The server refused the file %1.").arg(it.remote)
                               : PlainFailure(code, target)) +
                          QStringLiteral("\r\n") + report(info, "FTPPut");
        }
        summary.files << r;
        emit engine.fileDone(r);
        emit engine.progress(done, toSend, bytesDone + inFlight(), bytesTotal, QString());
        reportRate(false);
        if (!ok && sentence.isEmpty() && connectionGone(c.ResponseCode())) {
            summary.error = r.error; // the rest would fail the same way
            connectionLost = true;
        }
    }

    qint64 inFlight() const
    {
        qint64 bytes = 0;
        for (const auto &l : lanes)
            bytes += sendingFile(*l) ? l->moved : 0;
        return bytes;
    }

    // Files and bytes so far with the rate and the time left, at most once a second.
    void reportRate(bool last)
    {
        if (!last && sinceRate.isValid() && sinceRate.elapsed() < 1000)
            return;
        sinceRate.start();
        const qint64 elapsed = qMax<qint64>(1, sending.elapsed());
        const qint64 bytes = bytesDone + inFlight();
        const qint64 perSecond = bytes * 1000 / elapsed;
        // Many small files cost round trips, big ones bytes: the estimate weighs both.
        const double part = ((toSend > 0 ? double(done) / toSend : 1.0) +
                             (bytesTotal > 0 ? double(bytes) / bytesTotal : 1.0)) /
                            2;
        const int left = part > 0 ? int(double(elapsed) * (1 - part) / part / 1000 + 0.5) : -1;
        emit engine.transferRate(perSecond, left);
        say(ProgressLine(done, toSend, bytes, bytesTotal, perSecond, left));
    }

    void say(const QString &line) { emit engine.status(line); }

    // A folder's entries by name; false when the server would not list it. Names that
    // would lead out of the folder are never used, only reported.
    bool listFolder(const QString &f, QHash<QString, RemoteEntry> &names)
    {
        return listFolder(ctl, f, names);
    }
    bool listFolder(transport::Transport &c, const QString &f, QHash<QString, RemoteEntry> &names)
    {
        if (!exec(c, QStringLiteral("List") + kSep + f))
            return false;
        readListing(c, f, names);
        return true;
    }
    void readListing(transport::Transport &c, const QString &f, QHash<QString, RemoteEntry> &names)
    {
        QStringList refused;
        for (const RemoteEntry &e : ParseListing(output(c), &refused))
            names.insert(e.name, e);
        for (const QString &name : refused)
            say(QStringLiteral(
                    "The server listed \"%1\" in the folder \"%2\"; it is not a plain file name, so "
                    "it was left alone.")
                    .arg(QString(name).replace(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x7f]")),
                                               QStringLiteral("?")),
                         f.isEmpty() ? QStringLiteral("/") : f));
    }

    // Saves the manifest; one that cannot be saved is removed, as it may claim what
    // the server lacks.
    bool saveOrForget()
    {
        if (manifestFile.isEmpty() || saveManifest(manifestFile, targetTitle(target), manifest))
            return true;
        return !QFile::exists(manifestFile) || QFile::remove(manifestFile);
    }

    void failSent(int index, const QString &sentence)
    {
        FileResult &r = summary.files[index];
        r.action = Action::Failed;
        r.error = sentence;
        --summary.sent;
        ++summary.failed;
        emit engine.fileDone(r);
    }

    static QString keptSentence(const QString &remote, qint64 bytes)
    {
        return QStringLiteral("The server says it kept %1, but it holds %2 bytes of it.")
            .arg(remote)
            .arg(bytes);
    }

    void confirmSent()
    {
        if (unconfirmed.isEmpty())
            return;
        QHash<QString, QVector<int>> byFolder;
        for (int index : std::as_const(unconfirmed))
            byFolder[folderOf(sentItems[index].remote)] << index;
        unconfirmed.clear();
        for (auto f = byFolder.cbegin(); f != byFolder.cend(); ++f) {
            QHash<QString, RemoteEntry> names = prefetched.take(f.key());
            if (names.isEmpty() && !listFolder(f.key(), names))
                continue; // unconfirmed files stay out of the manifest and go again next time
            confirmIn(f.key(), f.value(), names);
        }
        saveConfirmed();
    }

    // The files of `sent` (indexes into summary.files) sent to `folder`, checked against
    // its listing `names`: those the server holds whole enter the manifest.
    void confirmIn(const QString &folder, const QVector<int> &sent, const QHash<QString, RemoteEntry> &names)
    {
        for (int index : sent) {
            const Item &it = sentItems[index];
            const auto e = names.constFind(nameOf(it.remote));
            // Sent under its own name, the file leaves only the temporary that the
            // server would not rename.
            const bool temporaryLeft =
                !sentDirect.contains(index) && names.contains(kTemporaryPrefix + nameOf(it.remote));
            if (temporaryLeft)
                exec(ctl, QStringLiteral("Delete") + kSep +
                              joinRemote(folder, kTemporaryPrefix + nameOf(it.remote)));
            const bool present = e != names.cend() && !e->isFolder;
            const qint64 held = present ? e->size : 0;
            if (!present || (held >= 0 && held != it.size))
                failSent(index, keptSentence(it.remote, held));
            else if (temporaryLeft)
                failSent(index, QStringLiteral("The server says it put %1 in place, but the new version "
                                               "stayed under a temporary name.")
                                    .arg(it.remote));
            else if (held == it.size)
                manifest.insert(it.remote, {it.size, it.hash});
        }
    }

    void saveConfirmed()
    {
        if (!saveOrForget())
            say(QStringLiteral("The list of sent files could not be saved in %1; the next publish sends "
                               "everything again.")
                    .arg(manifestFile));
    }

    // Lists on `lane` the next folder whose sent files wait for a confirmation.
    void listToConfirm(Lane &lane)
    {
        lane.state = Lane::Busy;
        lane.confirming = true;
        lane.moved = 0;
        lane.folder = toConfirm.front().first;
        lane.ctl->Execute(QStringLiteral("List") + kSep + lane.folder);
    }

    // A listing for a confirmation ended: the folder's files are checked against it
    // (or, when it failed, stay out of the manifest and go again next time), then the
    // next folder is listed, or the manifest saved.
    void confirmedFolder(Lane &lane)
    {
        lane.state = Lane::Idle;
        lane.confirming = false;
        const auto [folder, sent] = toConfirm.front();
        toConfirm.pop_front();
        if (lane.ctl->ResponseCode() == transport::kTransportOk) {
            QHash<QString, RemoteEntry> names;
            readListing(*lane.ctl, folder, names);
            confirmIn(folder, sent, names);
        }
        if (!toConfirm.empty()) {
            listToConfirm(lane);
            return;
        }
        saveConfirmed();
        confirmEvery = qMax<qint64>(2000, 10 * confirmTook.elapsed());
        sinceConfirmed.restart();
    }

    bool mayGoDirect()
    {
        say(QStringLiteral("The server refused to rename a file into place, so each file would be "
                           "replaced under its own name, where a visitor could get half of it."));
        if (!options.allowDirect && !(engine.m_confirmDirect && engine.m_confirmDirect())) {
            summary.renameRefused = true;
            summary.error = QStringLiteral("The server cannot rename files into place, and sending them "
                                           "under their own names was not allowed; nothing was replaced.");
            return false;
        }
        direct = true;
        say(QStringLiteral("Files are sent under their own names from now on."));
        return true;
    }

    // What reading a file found: the hash and size of what is published, and where a
    // page without its template's block markers was staged.
    struct Read {
        QByteArray hash; // empty: the file could not be read
        qint64 size = -1;
        QByteArray bytes; // what was hashed, kept to be sent (null: read again to send)
        QString staged;
        bool stageWhenSent = false; // known from the cache to differ from what is published
        FileStamp stamp;            // the file's when it was hashed; size -1: not known
    };

    // Reads and hashes the files, each unless the cache of local hashes knows it
    // unchanged. A page goes out as generation::PublishedBytes makes it: when that
    // differs from the file, the published copy is staged and sent (and hashed,
    // sized) in its place. Runs beside the login: touches nothing but `reads`, the
    // staging folder and the cache.
    // Fulfils `read` once `reads` is filled in, then saves the cache without them.
    void readItems(QVector<Read> &reads, std::promise<void> &read)
    {
        HashCache cache(options.hashCache);
        cache.load();
        qint64 heldBytes = 0; // of the files kept to be sent from memory
        for (int i = 0; i < items.size(); ++i) {
            const Item &it = items[i];
            Read &r = reads[i];
            const qint64 start = NowNs();
            FileStamp stamp = it.stamp;
            const bool stamped = stamp.size >= 0 || StampOf(it.local, stamp);
            qint64 sentSize = 0;
            if (stamped && cache.lookup(it.local, stamp, r.hash, sentSize)) {
                r.size = sentSize;
                r.stageWhenSent = sentSize != stamp.size;
                r.stamp = stamp;
                continue;
            }
            if (!isPage(it.remote)) {
                QFile file(it.local);
                if (stamped && stamp.size <= kReadWhole && heldBytes + stamp.size <= kHeldBytes &&
                    file.open(QIODevice::ReadOnly)) {
                    const QByteArray bytes = file.readAll();
                    r.hash = Sha1Hex(bytes);
                    if (options.readWhole)
                        options.readWhole(r.hash, bytes);
                    r.bytes = bytes;
                    r.size = bytes.size();
                    heldBytes += bytes.size();
                    stamp.size = bytes.size() == stamp.size ? stamp.size : -1; // changed while read
                } else {
                    r.hash = fileHash(it.local);
                }
                if (stamped && !r.hash.isEmpty()) {
                    cache.remember(it.local, stamp, r.hash, stamp.size, start);
                    r.stamp = stamp;
                }
                continue;
            }
            QFile page(it.local);
            if (!page.open(QIODevice::ReadOnly))
                continue; // the send step reports the unreadable file
            const QByteArray bytes = page.readAll();
            const QByteArray published = generation::PublishedBytes(bytes);
            r.staged = published.size() == bytes.size() ? QString() : stageCopy(it.local, published);
            const bool asPublished = published.size() == bytes.size() || !r.staged.isEmpty();
            const QByteArray &sent = asPublished ? published : bytes; // unstaged: sent as it is on disk
            r.hash = Sha1Hex(sent);
            r.size = sent.size();
            if (asPublished && options.readWhole)
                options.readWhole(r.hash, sent);
            if (heldBytes + sent.size() <= kHeldBytes) {
                r.bytes = sent;
                heldBytes += sent.size();
            }
            if (stamped && asPublished && bytes.size() == stamp.size)
                cache.remember(it.local, stamp, r.hash, r.size, start);
        }
        if (options.readAll)
            options.readAll();
        read.set_value();
        cache.save();
    }

    // A copy of `published` in the staging folder; "" when it could not be written.
    QString stageCopy(const QString &local, const QByteArray &published)
    {
        if (!staging)
            staging = std::make_unique<QTemporaryDir>();
        const QString copy =
            staging->filePath(QString::number(staged++) + QLatin1Char('-') + QFileInfo(local).fileName());
        QFile out(copy);
        if (!staging->isValid() || !out.open(QIODevice::WriteOnly) ||
            out.write(published) != published.size())
            return QString();
        return copy;
    }

    // Stages a page the cache knew, now that it is sent; its hash and size follow what
    // is staged (or, when that fails, what is on disk).
    void stage(Item &it)
    {
        QFile page(it.local);
        if (!page.open(QIODevice::ReadOnly))
            return; // the send step reports the unreadable file
        const QByteArray bytes = page.readAll();
        const QByteArray published = generation::PublishedBytes(bytes);
        const QString copy = published.size() == bytes.size() ? QString() : stageCopy(it.local, published);
        const QByteArray &sent = copy.isEmpty() ? bytes : published;
        bytesTotal += sent.size() - it.size;
        it.hash = Sha1Hex(sent);
        it.size = sent.size();
        if (!copy.isEmpty()) {
            stagedFrom.insert(copy, it.local);
            it.local = copy;
        }
    }

    UploadEngine &engine;
    const Target &target;
    const Options &options;
    Summary &summary;
    std::unique_ptr<QTemporaryDir> staging;
    int staged = 0;                     // copies staged so far
    QHash<QString, QString> stagedFrom; // staged copy -> page
    // Local file -> the bytes hashed, sent from memory (see plan). Declared before the
    // connections, so it outlives their threads.
    QHash<QString, QByteArray> held;
    FTP ftp;
    transport::Transport &ctl;
    QVector<Item> items;
    QString manifestFile;
    Manifest manifest;
    QHash<QString, QHash<QString, RemoteEntry>> listed; // folder -> name -> entry
    QSet<QString> existing{QString()};
    QSet<QString> missing;                                  // folders whose listing was refused
    QHash<QString, QHash<QString, RemoteEntry>> prefetched; // folder -> its last listing, not yet used
    int toSend = 0;
    qint64 bytesTotal = 0;
    int done = 0;
    qint64 bytesDone = 0;
    QVector<int> unconfirmed; // indexes into summary.files, sent but not yet seen on the server
    QHash<int, Item> sentItems;
    QSet<int> sentDirect;
    bool direct = false; // the server cannot rename: files go under their own names
    std::vector<std::unique_ptr<Lane>> lanes;
    std::deque<int> pending; // indexes into items of the files still to go, in order
    QElapsedTimer sending, sinceRate, sinceConfirmed, confirmTook;
    qint64 confirmEvery = 2000; // ms between confirmations
    // Folders whose sent files (indexes into summary.files) the run's own connection
    // lists for a confirmation while the others send, the one under way first.
    std::deque<std::pair<QString, QVector<int>>> toConfirm;
    QHash<QString, int> sentInto; // folder -> files sent there so far
    bool connectionLost = false;
    std::future<void> savingCache; // last: the run waits for it before anything else goes
};

Summary UploadEngine::run(const QVector<Row> &rows, const Target &target, const Options &options)
{
    Summary summary;
    if (m_running) {
        summary.error = QStringLiteral("A publish is already under way.");
        return summary;
    }
    m_running = true;
    m_cancel = false;
    struct Reset {
        bool &flag;
        ~Reset() { flag = false; }
    } reset{m_running};
    m_protocol = target.protocol;
    Run publish(*this, target, options, summary);
    if (publish.plan(rows) && publish.send())
        publish.prune();
    publish.unstageResults();
    return summary;
}

QVector<Row> RowsForPage(const QString &pagePath, QVector<FileResult> *leftOutLines)
{
    QVector<Row> rows =
        rowsOf(ReadFilesList(generation::FileList::PathFor(pagePath), ProgramOwnFiles()), leftOutLines);
    const bool pageListed = std::any_of(rows.cbegin(), rows.cend(), [&](const Row &row) {
        return QFileInfo(row.localPath) == QFileInfo(pagePath);
    });
    if (!pageListed && QFileInfo(pagePath).isFile())
        rows.prepend({pagePath, false});
    return rows;
}

QVector<Row> RowsForPageAndReferences(const QString &pagePath, const QStringList &references,
                                      QVector<FileResult> *leftOutLines)
{
    return rowsOf(PageAndReferences(pagePath, references, ProgramOwnFiles()), leftOutLines);
}

bool SavedPasswordServes(const Target &saved, const Target &target)
{
    return effectiveProtocol(saved) == effectiveProtocol(target) &&
           hostName(saved).compare(hostName(target), Qt::CaseInsensitive) == 0 &&
           effectivePort(saved) == effectivePort(target) && saved.user == target.user;
}

QString PasswordKey(const Target &target)
{
    return QStringLiteral("%1://%2@%3:%4")
        .arg(ProtocolKey(effectiveProtocol(target)),
             QString::fromLatin1(QUrl::toPercentEncoding(target.user)), hostName(target).toLower())
        .arg(effectivePort(target));
}

void HoldingPassword()
{
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

QHash<QString, QPair<qint64, QByteArray>> ReadManifest(const QString &path)
{
    QHash<QString, QPair<qint64, QByteArray>> out;
    const Manifest m = loadManifest(path);
    for (auto it = m.cbegin(); it != m.cend(); ++it)
        out.insert(it.key(), {it->size, it->hash});
    return out;
}

QString LiveAddress(const QString &webAddress, const QString &remotePath)
{
    QString base = webAddress.trimmed();
    if (base.isEmpty())
        return QString();
    if (!base.contains(QLatin1String("://")))
        base.prepend(QStringLiteral("http://"));
    if (!base.endsWith('/'))
        base += '/';
    QStringList parts;
    for (const QString &p : remotePath.split('/'))
        parts << QString::fromLatin1(QUrl::toPercentEncoding(p));
    return base + parts.join('/');
}

} // namespace publish
