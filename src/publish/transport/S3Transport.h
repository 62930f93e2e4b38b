#pragma once
// Transport for S3-compatible object storage on libcurl, signed with AWS SigV4.
// It takes the same commands as the FTP transport, so the publishing engine drives
// it unchanged: URL is the endpoint ("https://host[:port]"; empty = AWS in Region),
// UserName the access key, Password the secret; "CD" moves within the bucket's key
// prefix and checks that the bucket answers. Requests run on a worker thread.

#include "publish/transport/Transport.h"

#include <QObject>
#include <memory>

class QThread;

namespace transport {

class S3Worker;

class S3Transport : public QObject, public Transport {
    Q_OBJECT
public:
    explicit S3Transport(QObject *parent = nullptr);
    ~S3Transport() override;

    QString Region = QStringLiteral("us-east-1");
    QString Bucket;
    // Path-style ("host/bucket/key") or virtual-host ("bucket.host/key") addresses.
    bool PathStyle = true;
    // Files larger than this go up in parts of PartSize bytes (at least 5 MB but the last).
    qint64 MultipartThreshold = qint64(16) << 20;
    qint64 PartSize = qint64(8) << 20;
    // Keys per listing page; 0 = the service's own (1000).
    int ListPageSize = 0;

    void Execute(const QString &operation) override;
    bool StillExecuting() const override { return m_pending > 0; }
    int ResponseCode() const override { return m_code; }
    QString ResponseInfo() const override { return m_info; }
    QString GetChunk(int size) override;

private:
    void finished(int code, const QString &info, const QString &output);

    std::unique_ptr<QThread> m_thread;
    S3Worker *m_worker = nullptr;
    int m_pending = 0;
    int m_code = 0;
    QString m_info;
    QString m_output;
    qsizetype m_outputPos = 0;
};

// What a file is served as, and how long browsers and CDNs may keep it: pages for
// minutes (they change), names that carry a content hash for a year (they never do),
// pictures, styles, scripts and fonts for a day.
QByteArray S3ContentType(const QString &name);
QByteArray S3CacheControl(const QString &name);

} // namespace transport
