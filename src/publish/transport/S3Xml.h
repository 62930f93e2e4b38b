#pragma once
// Reading what an S3-compatible service answers: ListObjectsV2 pages, error bodies
// and the few single values of multipart uploads. The answers are untrusted: a
// malformed one reads as a failure, never as a crash.

#include <QByteArray>
#include <QString>
#include <QVector>

namespace transport {

struct S3Entry {
    QString name;     // relative to the listed prefix
    qint64 size = -1; // -1 for folders
    bool isFolder = false;
};

struct S3ListPage {
    QVector<S3Entry> entries;
    bool truncated = false;
    QString nextToken;
};

// One ListObjectsV2 answer for `prefix` (ending in "/" or empty). Keys outside the
// prefix, and the prefix itself (a folder marker), are left out. False when the
// answer is not a listing.
bool ParseS3ListPage(const QByteArray &xml, const QString &prefix, S3ListPage &page);

// The entries as MLSD facts lines ("type=file;size=12; name"), CR LF after each. A
// line break inside a name becomes a control character, so a name can never make
// a second line.
QString S3ListingLines(const QVector<S3Entry> &entries);

struct S3Error {
    QString code, message;
};
// <Error><Code>…</Code><Message>…</Message></Error>; empty fields when absent.
S3Error ParseS3Error(const QByteArray &xml);

// The text of the first element called `name` (e.g. "UploadId"); empty when none.
QString S3ElementText(const QByteArray &xml, const QString &name);

} // namespace transport
