// Publishing to S3-compatible storage against moto on 127.0.0.1, signatures enforced.

#include "FtpServerFixture.h"
#include "publish/UploadEngine.h"
#include "publish/transport/S3Transport.h"
#include "publish/transport/S3Xml.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace publish;
using namespace publish_testing;

namespace {

// moto_server on PATH or in a pyenv Python; its script names the Python that has moto.
QString motoPython()
{
    QStringList candidates{QStandardPaths::findExecutable("moto_server")};
    QDirIterator pyenv(QDir::homePath() + "/.pyenv/versions", QDir::Dirs | QDir::NoDotAndDotDot);
    while (pyenv.hasNext())
        candidates << pyenv.next() + "/bin/moto_server";
    for (const QString &script : candidates) {
        const QString python =
            QString(testing_support::readAll(script).split('\n').value(0)).mid(2).trimmed();
        if (!script.isEmpty() && QFileInfo(python).fileName().startsWith("python")) // not pyenv's shim
            return python;
    }
    return {};
}

class S3 : public ::testing::Test {
protected:
    std::unique_ptr<testing_support::ServerProcess> moto;
    QString key, secret;
    QTemporaryDir local, data;

    void SetUp() override
    {
        const QString python = motoPython();
        if (python.isEmpty())
            GTEST_SKIP() << "moto_server is not installed";
        moto = std::make_unique<testing_support::ServerProcess>(
            python, QStringList{testing_support::sourceDir() + "/tests/publish/s3_server.py"});
        ASSERT_TRUE(moto->start(60000)) << moto->output().toStdString();
        const QStringList words = QString(moto->output()).section("KEY ", 1).section('\n', 0, 0).split(' ');
        ASSERT_EQ(words.size(), 2);
        key = words[0];
        secret = words[1];
    }
    QString endpoint() const { return QStringLiteral("http://127.0.0.1:%1").arg(moto->port()); }
    Target target() const
    {
        Target t;
        t.protocol = Protocol::S3;
        t.host = endpoint();
        t.user = key;
        t.password = secret;
        t.bucket = "site";
        t.region = "us-east-1";
        t.remoteFolder = "www";
        return t;
    }
    Summary publish(bool removeUnused = false, std::function<void()> readAll = {})
    {
        Options o;
        o.manifestFolder = data.filePath("manifests");
        o.timeoutSeconds = 20;
        o.removeUnused = removeUnused;
        o.readAll = std::move(readAll);
        // Listings of two keys a page, and parts above 6 MB, so that both show here.
        UploadEngine engine([] {
            auto s3 = std::make_unique<transport::S3Transport>();
            s3->ListPageSize = 2;
            s3->MultipartThreshold = 6 << 20;
            s3->PartSize = 5 << 20;
            return s3;
        });
        QObject::connect(&engine, &UploadEngine::status, [this](const QString &l) { lines << l; });
        // Reports with no file named come once a file ends, and while a big one goes.
        progressReports = 0;
        QObject::connect(
            &engine, &UploadEngine::progress,
            [this](int, int, qint64, qint64, const QString &file) { progressReports += file.isEmpty(); });
        return engine.run({{local.filePath("site"), true}}, target(), o);
    }
    QStringList lines; // the status lines of every publish
    int progressReports = 0;
    // Key -> "size<TAB>Content-Type<TAB>Cache-Control<TAB>ETag", as the server holds them.
    std::map<QString, QString> objects() const
    {
        QProcess curl;
        curl.start("curl", {"-s", endpoint() + "/inspect/site"});
        curl.waitForFinished(10000);
        std::map<QString, QString> out;
        for (const QByteArray &line : curl.readAllStandardOutput().split('\n'))
            if (!line.isEmpty())
                out[QString(line).section('\t', 0, 0)] = QString(line).section('\t', 1);
        return out;
    }
    // One command through a transport of its own, as another client would send it.
    int command(const QString &text, qint64 partsAbove = 0)
    {
        transport::S3Transport s3;
        s3.URL = endpoint();
        s3.UserName = key;
        s3.Password = secret;
        s3.Bucket = "site";
        if (partsAbove > 0) {
            s3.MultipartThreshold = partsAbove;
            s3.PartSize = 5 << 20;
        }
        s3.Execute(text);
        while (s3.StillExecuting())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        return s3.ResponseCode();
    }
};

// First publish (types, lifetimes, an 11 MB file in parts), an unchanged one, a repair
// of what the listing shows missing or of the wrong size, and removal of unused files.
TEST_F(S3, PublishesRepairsAndPrunes)
{
    const QMap<QString, QString> files{
        {"index.htm", "text/html; charset=utf-8\tmax-age=300"},
        {"img/style.css", "text/css; charset=utf-8\tmax-age=86400"},
        {"robots.txt", "text/plain; charset=utf-8\tmax-age=300"}, // read again soon, like pages
        {"img/logo.png", "image/png\tmax-age=86400"},
        {"img/PHOTO.JPG", "image/jpeg\tmax-age=86400"},    // as cameras name them
        {"img/shot-2024.png", "image/png\tmax-age=86400"}, // a year is no content hash
        {"img/app.0123abcd.js", "text/javascript; charset=utf-8\tmax-age=31536000, immutable"},
        {"img/a bé.svg", "image/svg+xml\tmax-age=86400"},
        {"big.zip", "application/zip\tmax-age=86400"}};
    QMap<QString, QString> sizes;
    for (const QString &f : files.keys()) {
        sizes[f] = QString::number(f == "big.zip" ? 11 << 20 : 3000 + sizes.size() * 100);
        ASSERT_TRUE(makeFile(local.filePath("site/" + f), sample(sizes[f].toInt(), int(sizes.size()))));
    }

    // A file saved again after it was read arrives as it was read (and hashed).
    const QString logo = local.filePath("site/img/logo.png");
    const QByteArray read = testing_support::readAll(logo);
    Summary s = publish(false, [&] { makeFile(logo, QByteArray(read.size(), 'x')); });
    ASSERT_TRUE(s.error.isEmpty()) << s.error.toStdString();
    EXPECT_EQ(s.sent, files.size());
    ASSERT_TRUE(makeFile(logo, read));
    // Every connection has the bucket and region, so none is given up.
    EXPECT_TRUE(lines.filter("would not take one more connection").isEmpty())
        << lines.join('\n').toStdString();
    for (const FileResult &r : s.files)
        EXPECT_TRUE(r.error.isEmpty()) << r.remote.toStdString() << ": " << r.error.toStdString();
    auto held = objects();
    for (auto f = files.cbegin(); f != files.cend(); ++f)
        EXPECT_EQ(held["www/" + f.key()].section('\t', 0, 2), sizes[f.key()] + '\t' + f.value());
    EXPECT_EQ(held["www/img/logo.png"].section('\t', 3),
              '"' + QCryptographicHash::hash(read, QCryptographicHash::Md5).toHex() + '"');
    EXPECT_GT(progressReports, files.size() + 3) << "the big file's bytes were reported as they went";
    EXPECT_TRUE(held["www/big.zip"].endsWith("-3\""))
        << "sent in three parts: " << held["www/big.zip"].toStdString();

    s = publish();
    EXPECT_EQ(s.sent, 0);
    EXPECT_EQ(s.unchanged, files.size());

    // One object gone, one replaced by a shorter one: exactly those two go again.
    ASSERT_EQ(command(QStringLiteral("Delete") + QChar(0) + "www/img/logo.png"), 0);
    ASSERT_TRUE(makeFile(data.filePath("short"), "x"));
    ASSERT_EQ(command(QStringLiteral("Put") + QChar(0) + data.filePath("short") + QChar(0) + "www/index.htm"),
              0);
    s = publish();
    EXPECT_EQ(s.sent, 2);
    held = objects();
    EXPECT_TRUE(held["www/img/logo.png"].startsWith(sizes["img/logo.png"] + '\t'));
    EXPECT_TRUE(held["www/index.htm"].startsWith(sizes["index.htm"] + '\t'));

    ASSERT_TRUE(QFile::remove(local.filePath("site/img/style.css")));
    s = publish(true);
    EXPECT_EQ(s.removed, QStringList{"img/style.css"});
    EXPECT_EQ(objects().count("www/img/style.css"), 0u);

    // A rename is a copy (type included) and a delete; a get brings the bytes back.
    ASSERT_EQ(command(QStringLiteral("Rename") + QChar(0) + "www/index.htm" + QChar(0) + "www/moved.htm"), 0);
    held = objects();
    EXPECT_EQ(held.count("www/index.htm"), 0u);
    EXPECT_EQ(held["www/moved.htm"].section('\t', 0, 1), sizes["index.htm"] + "\ttext/html; charset=utf-8");
    ASSERT_EQ(command("Get www/moved.htm \"" + data.filePath("back.htm") + '"'), 0);
    EXPECT_EQ(testing_support::readAll(data.filePath("back.htm")),
              testing_support::readAll(local.filePath("site/index.htm")));
}

// Answers that only look like success: a redirect to another region, a multipart
// upload whose completion answers "200" with an error inside, and a copy that does the
// same. Neither file counts as sent, and a rename whose copy failed keeps its file.
TEST_F(S3, AnswersThatOnlyLookLikeSuccessAreFailures)
{
    const QString sep(QChar(0));
    ASSERT_TRUE(makeFile(data.filePath("small"), "x"));
    EXPECT_EQ(command("Put" + sep + data.filePath("small") + sep + "www/redirected/x.htm"),
              transport::kServerRefused);
    ASSERT_TRUE(makeFile(data.filePath("big"), sample(6 << 20, 3)));
    EXPECT_EQ(command("Put" + sep + data.filePath("big") + sep + "www/late-error.zip", 5 << 20),
              transport::kServerRefused);
    EXPECT_EQ(objects().count("www/late-error.zip"), 0u);
    ASSERT_EQ(command("Put" + sep + data.filePath("small") + sep + "www/a.htm"), 0);
    EXPECT_EQ(command("Rename" + sep + "www/a.htm" + sep + "www/late-error.htm"), transport::kServerRefused);
    EXPECT_EQ(objects().count("www/a.htm"), 1u);
    QProcess curl;
    curl.start("curl", {"-s", endpoint() + "/inspect/site/uploads"});
    ASSERT_TRUE(curl.waitForFinished(10000));
    EXPECT_EQ(curl.readAllStandardOutput(), "")
        << "the failed upload was aborted, its parts not left to pay for";
}

// Refusals end the command line's publish with one plain sentence and a failure exit;
// virtual-host addresses reach the same bucket.
TEST_F(S3, RefusalsAreTold)
{
    ASSERT_TRUE(makeFile(local.filePath("site/index.htm"), "page"));
    const struct {
        QString secret, url;
        const char *said;
    } cases[] = {
        {"wrong", "s3://site/www?endpoint=" + endpoint(), "failed: the access key or secret was refused."},
        {secret, "s3://nobucket/www?endpoint=" + endpoint(),
         "The storage service has no bucket \"nobucket\"."},
    };
    for (const auto &c : cases) {
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUILLMARK_DATA", data.path());
        env.insert("S3_KEY", key);
        env.insert("S3_SECRET", c.secret);
        cli.setProcessEnvironment(env);
        cli.start(testing_support::binaryDir() + "/bin/quillmark",
                  {"publish", local.filePath("site"), "--to", c.url, "--access-key-env", "S3_KEY",
                   "--secret-env", "S3_SECRET"});
        ASSERT_TRUE(cli.waitForFinished(30000));
        const QByteArray err = cli.readAllStandardError();
        EXPECT_EQ(cli.exitCode(), 1) << err.toStdString();
        EXPECT_TRUE(err.contains(c.said)) << err.toStdString();
    }
    EXPECT_TRUE(objects().empty());

    Target t = target();
    t.host = QStringLiteral("http://localhost:%1").arg(moto->port());
    t.pathStyle = false;
    bool ok = false;
    UploadEngine().testConnection(t, 10, &ok);
    EXPECT_TRUE(ok);

    // A bucket or region that would change the address or what is signed goes nowhere.
    for (const auto &[bucket, region] :
         {std::pair{"site/../other", "us-east-1"}, {"site", "us-east-1:sts"}}) {
        Target bad = target();
        bad.bucket = bucket;
        bad.region = region;
        const QString said = UploadEngine().testConnection(bad, 10, &ok);
        EXPECT_FALSE(ok);
        EXPECT_TRUE(said.contains("cannot be used")) << said.toStdString();
    }
    // Nor a key with a line break, which would add headers of its own.
    Target broken = target();
    broken.password += "\r\nx-amz-acl: public-read-write";
    EXPECT_EQ(UploadEngine().testConnection(broken, 10, &ok),
              "The secret key holds a line break or a NUL character and cannot be used.");
    EXPECT_FALSE(ok);
    // The same stops an FTP login, whose lines would carry commands of their own.
    Target ftp;
    ftp.protocol = Protocol::Ftp;
    ftp.host = "127.0.0.1";
    ftp.port = 9;
    ftp.user = QString("user") + QChar(0) + "x";
    EXPECT_EQ(UploadEngine().testConnection(ftp, 10, &ok),
              "The user name holds a line break or a NUL character and cannot be used.");
}

} // namespace

// Listings are untrusted answers: only a whole ListObjectsV2 answer is one, and no
// name it holds can add a line or stand for the folder itself.
TEST(S3Listing, OnlyAWholeListingIsReadAndNamesStayOneLine)
{
    const QByteArray xml = "<?xml version=\"1.0\"?><ListBucketResult><IsTruncated>true</IsTruncated>"
                           "<NextContinuationToken>t1</NextContinuationToken>"
                           "<Contents><Key>site/</Key><Size>0</Size></Contents>"
                           "<Contents><Key>site/a\nb.htm</Key><Size>12</Size></Contents>"
                           "<Contents><Key>other/x.htm</Key><Size>1</Size></Contents>"
                           "<CommonPrefixes><Prefix>site/img/</Prefix></CommonPrefixes></ListBucketResult>";
    transport::S3ListPage page;
    ASSERT_TRUE(transport::ParseS3ListPage(xml, "site/", page));
    EXPECT_TRUE(page.truncated);
    EXPECT_EQ(page.nextToken, "t1");
    EXPECT_EQ(transport::S3ListingLines(page.entries),
              QString("type=file;size=12; a") + QChar(1) + "b.htm\r\ntype=dir; img\r\n");
    for (const QByteArray &bad :
         {QByteArray("<Error><Code>AccessDenied</Code></Error>"),
          QByteArray("<ListBucketResult><Contents><Key>site/a</Key>"), xml.left(xml.size() - 5)})
        EXPECT_FALSE(transport::ParseS3ListPage(bad, "site/", page)) << bad.constData();
}
