// A storage service's answers: a ListObjectsV2 page, an error and a multipart answer.
// Every entry becomes exactly one listing line the engine reads back as that entry (or
// refuses), so no key can pose as another file or lead out of its folder.
#include "FuzzSupport.h"
#include "publish/UploadEngine.h"
#include "publish/transport/S3Xml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const QString prefix = fuzzing::text(data, 16);
    const QByteArray xml = QByteArray::fromStdString(data.ConsumeRemainingBytesAsString());
    transport::ParseS3Error(xml);
    transport::S3ElementText(xml, QStringLiteral("UploadId"));
    transport::S3ListPage page;
    if (!transport::ParseS3ListPage(xml, prefix, page))
        return 0;
    for (const transport::S3Entry &e : page.entries) {
        QStringList refused;
        const QVector<publish::RemoteEntry> back =
            publish::ParseListing(transport::S3ListingLines({e}), &refused);
        FUZZ_CHECK(back.size() + refused.size() <= 1, e.name);
        if (back.size() == 1) {
            FUZZ_CHECK(back[0].name == e.name && back[0].isFolder == e.isFolder, e.name);
            FUZZ_CHECK(e.isFolder || back[0].size == e.size, e.name);
        }
    }
    return 0;
}
