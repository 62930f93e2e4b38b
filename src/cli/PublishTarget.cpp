#include "cli/PublishTarget.h"

#include <QFile>
#include <QUrl>
#include <QUrlQuery>
#include <sys/stat.h>

namespace cli {

namespace {

bool ParseS3Url(const QUrl &url, publish::Target &target, QString &error)
{
    target.protocol = publish::Protocol::S3;
    if (!url.userInfo().isEmpty()) {
        error = QStringLiteral("keys in the address are refused; use --access-key-env and --secret-env");
        return false;
    }
    target.bucket = url.host(QUrl::FullyDecoded);
    if (target.bucket.isEmpty()) {
        error = QStringLiteral("no bucket in \"%1\"").arg(url.toString());
        return false;
    }
    QString folder = url.path(QUrl::FullyDecoded);
    while (folder.startsWith(QLatin1Char('/')))
        folder.remove(0, 1);
    while (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    target.remoteFolder = folder;
    const QUrlQuery query(url);
    for (const auto &item : query.queryItems(QUrl::FullyDecoded)) {
        if (item.first == QLatin1String("endpoint"))
            target.host = item.second;
        else if (item.first == QLatin1String("region"))
            target.region = item.second;
        else if (item.first == QLatin1String("addressing") &&
                 (item.second == QLatin1String("path") || item.second == QLatin1String("virtual")))
            target.pathStyle = item.second == QLatin1String("path");
        else {
            error = QStringLiteral("unknown setting \"%1=%2\" in the s3:// address (endpoint, region, "
                                   "addressing=path|virtual)")
                        .arg(item.first, item.second);
            return false;
        }
    }
    if (target.region.isEmpty())
        target.region = QStringLiteral("us-east-1");
    // AWS itself is addressed by virtual host; other services usually by path.
    if (!query.hasQueryItem(QStringLiteral("addressing")))
        target.pathStyle = !target.host.isEmpty();
    return true;
}

} // namespace

bool ParseTargetUrl(const QString &url, publish::Target &target, QString &error)
{
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || scheme.isEmpty()) {
        error = QStringLiteral("\"%1\" is not a server address like ftp://user@host/folder").arg(url);
        return false;
    }
    if (scheme == QLatin1String("ftp"))
        target.protocol = publish::Protocol::Ftp;
    else if (scheme == QLatin1String("ftps"))
        target.protocol = publish::Protocol::FtpTls;
    else if (scheme == QLatin1String("sftp"))
        target.protocol = publish::Protocol::Sftp;
    else if (scheme == QLatin1String("s3"))
        return ParseS3Url(parsed, target, error);
    else {
        error =
            QStringLiteral("unsupported protocol \"%1\" (use ftp://, ftps://, sftp:// or s3://)").arg(scheme);
        return false;
    }
    if (!parsed.password().isEmpty()) {
        error = QStringLiteral("a password in the address is refused; use --password-env or --password-file");
        return false;
    }
    if (parsed.host().isEmpty()) {
        error = QStringLiteral("no host in \"%1\"").arg(url);
        return false;
    }
    if (parsed.port() == 0) { // no server listens there: the default port is not what was asked
        error = QStringLiteral("port 0 in \"%1\" is not a port a server listens on").arg(url);
        return false;
    }
    target.host = parsed.host();
    target.port = parsed.port(0);
    target.user = parsed.userName(QUrl::FullyDecoded);
    QString folder = parsed.path(QUrl::FullyDecoded);
    if (target.protocol != publish::Protocol::Sftp && folder.startsWith(QLatin1Char('/')))
        folder.remove(0, 1);
    if (folder.endsWith(QLatin1Char('/')) && folder.size() > 1)
        folder.chop(1);
    target.remoteFolder = folder;
    return true;
}

bool ReadPasswordFile(const QString &path, QString &password, QString &error)
{
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = QStringLiteral("cannot read the password file %1").arg(path);
        return false;
    }
    if (st.st_mode & (S_IRWXG | S_IRWXO)) {
        error = QStringLiteral("the password file %1 can be read or changed by other users; "
                               "make it private with: chmod 600 %1")
                    .arg(path);
        return false;
    }
    // A password file holds one line; a big file is a wrong name, not a password,
    // and is never read whole.
    const auto tooLarge = [&] {
        error = QStringLiteral("the password file %1 is larger than %2 bytes; it should hold the password "
                               "alone")
                    .arg(path)
                    .arg(kMaxPasswordFile);
        return false;
    };
    if (st.st_size > kMaxPasswordFile)
        return tooLarge();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read the password file %1").arg(path);
        return false;
    }
    const QByteArray bytes = file.read(kMaxPasswordFile + 1);
    if (bytes.size() > kMaxPasswordFile)
        return tooLarge(); // it grew since
    QByteArray line = bytes.left(bytes.indexOf('\n') < 0 ? bytes.size() : bytes.indexOf('\n') + 1);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    password = QString::fromLocal8Bit(line);
    return true;
}

} // namespace cli
