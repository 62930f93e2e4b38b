// A page goes to the server without its block markers: what is sent, hashed and sized
// (a dry run too) is that copy, reported under the page's own name; other files go as they are.
#include "generation/PublishedPage.h"
#include "FtpServerFixture.h"
#include "MemoryTransport.h"
#include "publish/UploadEngine.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace publish;

TEST(PublishedPage, IsSentHashedAndSizedWithoutItsBlockMarkers)
{
    QTemporaryDir local, data;
    publish_testing::MemoryServer server;
    UploadEngine engine{[&server] { return std::make_unique<publish_testing::MemoryTransport>(server); }};
    Target target;
    target.host = "ftp.test";
    Options options;
    options.manifestFolder = data.filePath("manifests");
    // The design view writes the markers it kept in lower case.
    const QByteArray page = "<ul><ZOR_PAGE_DATA_FAQ><li>q</li></zor_page_data_faq></ul>";
    publish_testing::makeFile(local.filePath("index.htm"), page);
    publish_testing::makeFile(local.filePath("notes.txt"), page);
    const QVector<Row> rows = {{local.filePath("index.htm")}, {local.filePath("notes.txt")}};
    options.dryRun = true;
    const Summary dry = engine.run(rows, target, options);
    EXPECT_EQ(dry.files.last().local, local.filePath("index.htm"));
    EXPECT_EQ(dry.files.last().bytes, 19);
    options.dryRun = false;
    EXPECT_EQ(engine.run(rows, target, options).sent, 2);
    EXPECT_EQ(server.files["index.htm"], "<ul><li>q</li></ul>");
    EXPECT_EQ(server.files["notes.txt"], page);
    EXPECT_EQ(engine.run(rows, target, options).unchanged, 2) << "the manifest holds the copy sent";
}

// Markers side by side (an empty block) all go; a place in the copy maps back to the
// page, one right at a cut to just after the marker removed there.
TEST(PublishedPage, CopyAndPlacesMapBackAcrossEveryMarker)
{
    const QByteArray page = "a<ZOR_PAGE_DATA_FAQ></ZOR_PAGE_DATA_FAQ>b<zor_page_data_try>c";
    std::vector<generation::Cut> cuts;
    const QByteArray copy = generation::PublishedBytes(page, &cuts);
    ASSERT_EQ(copy, "abc");
    EXPECT_EQ(generation::PublishedBytes("<ZOR_PAGE_DATA_FAQ></ZOR_PAGE_DATA_FAQ>abc"), "abc");
    for (qsizetype at = 0; at < copy.size(); ++at)
        EXPECT_EQ(page[generation::OffsetInPage(cuts, at)], copy[at]) << at;
}
