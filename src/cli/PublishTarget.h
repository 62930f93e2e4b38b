#pragma once
// Where the command line publishes to, and the password it uses: a server address
// given as a URL, and a password file that only its owner may read.

#include "publish/UploadEngine.h"

#include <QString>

namespace cli {

// "ftp://", "ftps://" (explicit TLS) or "sftp://" + "[user@]host[:port]/folder".
// For FTP the folder is relative to the login folder (a second "/" makes it
// absolute, as in curl's URLs); for SFTP it is the absolute path. A password in the
// URL is refused: it would show in the process list and the shell history.
// "s3://bucket/prefix?endpoint=URL&region=R&addressing=path|virtual": S3-compatible
// storage (no endpoint = AWS, addressed by virtual host; region us-east-1 by default).
// On failure returns false and sets `error` to a one-line reason.
bool ParseTargetUrl(const QString &url, publish::Target &target, QString &error);

// The first line of the file at `path` (without its line end). Refused unless the
// file is a regular file of at most kMaxPasswordFile bytes that no one but its owner
// may read or change.
constexpr int kMaxPasswordFile = 4096;
bool ReadPasswordFile(const QString &path, QString &password, QString &error);

} // namespace cli
