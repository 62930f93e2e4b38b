// A page goes to the server without its block markers: what is sent, hashed, sized and
// reported in a dry run is that copy, under the page's own name; the file on disk keeps them.

#include "FtpServerFixture.h"
#include "MemoryTransport.h"
#include "publish/UploadEngine.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace publish;
using publish_testing::makeFile;
using publish_testing::MemoryServer;
using publish_testing::MemoryTransport;

TEST(PublishedPage, IsSentHashedAndSizedWithoutItsBlockMarkers)
{
    QTemporaryDir local, data;
    MemoryServer server;
    UploadEngine engine{[&server] { return std::make_unique<MemoryTransport>(server); }};
    Target target;
    target.host = "ftp.example.com";
    Options options;
    options.manifestFolder = data.filePath("manifests");
    const QByteArray page = "<ul><ZOR_PAGE_DATA_FAQ><li>q</li></ZOR_PAGE_DATA_FAQ></ul>";
    const QByteArray sent = "<ul><li>q</li></ul>";
    makeFile(local.filePath("index.htm"), page);
    makeFile(local.filePath("notes.txt"), page); // only pages are published without markers
    const QVector<Row> rows = {{local.filePath("index.htm")}, {local.filePath("notes.txt")}};

    options.dryRun = true;
    Summary dry = engine.run(rows, target, options);
    ASSERT_EQ(dry.files.size(), 2);
    EXPECT_EQ(dry.files[1].local, local.filePath("index.htm"));
    EXPECT_EQ(dry.files[1].bytes, sent.size());

    options.dryRun = false;
    Summary first = engine.run(rows, target, options);
    EXPECT_EQ(first.sent, 2) << first.error.toStdString();
    EXPECT_EQ(server.files["index.htm"], sent);
    EXPECT_EQ(server.files["notes.txt"], page);
    for (const FileResult &r : first.files)
        EXPECT_TRUE(r.local.startsWith(local.path())) << r.local.toStdString();
    EXPECT_EQ(engine.run(rows, target, options).unchanged, 2) << "the manifest holds the copy sent";

    makeFile(local.filePath("index.htm"), "<ul><ZOR_PAGE_DATA_FAQ><li>q2</li></ZOR_PAGE_DATA_FAQ></ul>");
    EXPECT_EQ(engine.run(rows, target, options).sent, 1);
    EXPECT_EQ(server.files["index.htm"], "<ul><li>q2</li></ul>");
}
