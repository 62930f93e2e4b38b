// The engine's rules against a transport that keeps a server's files in memory.

#include "publish/UploadEngine.h"
#include "FtpServerFixture.h"
#include "MemoryTransport.h"
#include "publish/HashCache.h"
#include "publish/SavedTarget.h"

#include <QCryptographicHash>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <tuple>

using namespace publish;
using publish_testing::makeFile;
using publish_testing::MemoryServer;
using publish_testing::MemoryTransport;
using publish_testing::sample;

namespace {

struct Site {
    QTemporaryDir local, data;
    MemoryServer server;
    UploadEngine engine{[this] { return std::make_unique<MemoryTransport>(server); }};
    Target target;
    Options options;
    QVector<Row> rows;

    Site()
    {
        target.host = "ftp.example.com";
        target.remoteFolder = "www";
        options.manifestFolder = data.filePath("manifests");
        makeFile(local.filePath("site/index.htm"), "<html>home</html>");
        makeFile(local.filePath("site/style.css"), "body{}");
        makeFile(local.filePath("site/img/logo.gif"), sample(3000, 1));
        makeFile(local.filePath("site/img/deep/x.png"), sample(100, 2));
        makeFile(local.filePath("extra/page two.htm"), "two");
        makeFile(local.filePath("extra/a.zip"), sample(500, 3));
        rows = {{local.filePath("site"), true},
                {local.filePath("extra/page two.htm"), false, "../page two.htm"}, // goes by its name
                {local.filePath("extra/a.zip")},
                {local.filePath("gone.txt")}};
    }
    Summary publish()
    {
        server.commands.clear();
        server.startedAt.clear();
        return engine.run(rows, target, options);
    }
    QStringList sent(const Summary &s, Action a = Action::Sent) const
    {
        QStringList out;
        for (const FileResult &r : s.files) {
            if (r.action == a)
                out << r.remote;
        }
        return out;
    }
};

} // namespace

// First publish: new files straight to their names, assets before pages, folder
// rows sending their contents with subfolders, sizes read back; the second sends
// nothing; a change sends exactly that file, under a temporary name renamed into place.
TEST(UploadEngine, SendsOnlyWhatChangedSinceTheLastPublish)
{
    Site s;
    Summary first = s.publish();
    EXPECT_TRUE(first.error.isEmpty()) << first.error.toStdString();
    EXPECT_EQ(s.sent(first), QStringList({"style.css", "img/logo.gif", "img/deep/x.png", "a.zip", "index.htm",
                                          "page two.htm"}));
    EXPECT_EQ(first.sent, 6);
    EXPECT_EQ(s.server.files.size(), 6u) << "no temporary file is left";
    EXPECT_EQ(s.server.files["img/deep/x.png"], sample(100, 2));
    EXPECT_TRUE(
        s.server.commands.contains("Put|" + s.local.filePath("site/img/deep/x.png") + "|img/deep/x.png"))
        << "a new file goes straight to its name: no live page links to it yet";
    EXPECT_TRUE(s.server.commands.contains("MKDIR img/deep"));
    EXPECT_EQ(s.server.commands.filter("List|").size(), 3 + 3)
        << "one per folder, side by side; one after sending per folder sent to";

    Summary second = s.publish();
    EXPECT_EQ(s.server.commands.filter("List|").size(), 3) << "one listing per folder";
    EXPECT_EQ(s.server.commands.filter("CD ").size(), 1) << "a near server that may get nothing: one login";
    EXPECT_EQ(second.sent, 0);
    EXPECT_EQ(second.unchanged, 6);
    EXPECT_TRUE(s.server.commands.filter("Put|").isEmpty());

    makeFile(s.local.filePath("site/new.htm"), "new page");
    makeFile(s.local.filePath("site/index.htm"), "<html>home, new</html>");
    makeFile(s.local.filePath("site/style.css"), "body{color:red}");
    Summary some = s.publish();
    EXPECT_EQ(s.sent(some), QStringList({"style.css", "new.htm", "index.htm"}))
        << "styles before pages; a new page before those that replace others";
    EXPECT_TRUE(s.server.commands.contains("Put|" + s.local.filePath("site/index.htm") + "|" +
                                           kTemporaryPrefix + "index.htm|index.htm"));
    QFile::remove(s.local.filePath("site/new.htm"));

    makeFile(s.local.filePath("site/img/logo.gif"), sample(3000, 9)); // same size, other bytes
    Summary changed = s.publish();
    EXPECT_EQ(s.sent(changed), QStringList({"img/logo.gif"}));
    EXPECT_TRUE(s.server.commands.contains("Put|" + s.local.filePath("site/img/logo.gif") + "|img/" +
                                           kTemporaryPrefix + "logo.gif|img/logo.gif"))
        << "a file that replaces another arrives whole";
    EXPECT_EQ(s.server.commands.filter("Put|").size(), 1);

    s.options.onlyChanged = false;
    EXPECT_EQ(s.publish().sent, 6) << "\"Send only changed files\" off sends everything";
}

// Files go side by side over as many connections as asked (no more than there are
// files), one group after the other: new pictures and styles, replacing ones, new
// pages, replacing pages. Cancel lets the files under way arrive and sends no more.
TEST(UploadEngine, ConnectionsSendSideBySideGroupAfterGroup)
{
    Site s;
    s.publish();
    makeFile(s.local.filePath("site/img/new1.gif"), "1");
    makeFile(s.local.filePath("site/img/new2.gif"), "2");
    makeFile(s.local.filePath("site/style.css"), "body{color:red}");
    makeFile(s.local.filePath("site/new.html"), "new page"); // a page too
    makeFile(s.local.filePath("site/index.htm"), "<html>home, new</html>");
    s.server.busyMs = 60;
    s.server.putMs["img/new1.gif"] = 300; // its connection has nothing of its group to queue
    QTimer wake;                          // the memory transport posts no events to wake the engine
    wake.start(5);
    QStringList lines;
    QObject::connect(&s.engine, &UploadEngine::status, [&](const QString &l) { lines << l; });
    EXPECT_EQ(s.publish().sent, 5);
    EXPECT_EQ(s.server.commands.filter("CD www").size(), 3);
    QHash<QString, qint64> started;
    for (int i = 0; i < s.server.commands.size(); ++i)
        started[s.server.commands[i].section('|', -1)] = s.server.startedAt[i];
    EXPECT_LT(qAbs(started["img/new1.gif"] - started["img/new2.gif"]), 30) << "side by side";
    const QStringList order{"img/new2.gif", "style.css", "new.html", "index.htm"};
    for (int i = 1; i < order.size(); ++i)
        EXPECT_GE(started[order[i]] - started[order[i - 1]], 55) << order[i].toStdString();
    EXPECT_GE(started["style.css"] - started["img/new1.gif"], 295) << "a style while a picture went";
    EXPECT_TRUE(lines.last().startsWith("5 of 5 files, 47 B of 47 B, ")) << lines.last().toStdString();
    // Idle connections list for the last confirmation the folders whose files all went
    // (img while the last page goes), never one with a file still under way.
    qint64 imgListed = -1;
    for (int i = 0; i < s.server.commands.size(); ++i) {
        const QString folder = s.server.commands[i].section('|', 1, 1);
        for (int j = 0; j < i && s.server.commands[i].startsWith("List|"); ++j) {
            if (s.server.commands[j].startsWith("Put|") &&
                s.server.commands[j].section('|', -1).section('/', 0, -2) == folder) {
                EXPECT_GE(s.server.startedAt[i] - s.server.startedAt[j], 55) << folder.toStdString();
                imgListed = folder == "img" ? s.server.startedAt[i] : imgListed;
            }
        }
    }
    EXPECT_LT(imgListed, started["index.htm"] + 55) << "listed while the last file went";

    s.options.connections = 2;
    s.options.onlyChanged = false;
    int done = 0;
    QObject::connect(&s.engine, &UploadEngine::fileDone, [&](const FileResult &) {
        if (++done == 3)
            s.engine.cancel();
    });
    const Summary cancelled = s.publish();
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_GE(cancelled.sent, 3);
    EXPECT_EQ(s.server.commands.filter("Put|").size(), cancelled.sent) << "every file under way arrived";
    EXPECT_TRUE(s.sent(cancelled).filter(".htm").isEmpty()) << "no page after the cancel";
    // Cancelled at the third file, while img/new1.gif goes: the file queued behind it
    // stays, the one that started the moment the third ended arrives.
    EXPECT_EQ(cancelled.sent, 5);
    EXPECT_EQ(s.server.commands.filter("CD www").size(), 2);

    // The file queued behind one the server refuses goes all the same; the pages that
    // replace live ones are held back, and the live ones stay.
    s.server.failPut = "style.css";
    s.server.putMs.clear();
    s.server.busyMs = 20;
    const auto livePages = s.server.files;
    const Summary refused = s.publish();
    EXPECT_EQ(refused.sent, 5);
    QStringList heldBack;
    for (const FileResult &r : refused.files)
        if (r.action == Action::Failed && r.error.startsWith("Held back"))
            heldBack << r.remote;
    heldBack.sort();
    EXPECT_EQ(heldBack, QStringList({"index.htm", "new.html", "page two.htm"}));
    EXPECT_EQ(refused.failed, 1 + heldBack.size());
    for (const QString &page : heldBack)
        EXPECT_EQ(s.server.files[page], livePages.at(page)) << page.toStdString();
}

// Folders the server lacks are made side by side over the connections, each only
// once its parent is there, and every file reaches its folder.
TEST(UploadEngine, FoldersAreMadeSideBySideParentsFirst)
{
    Site s;
    const QStringList folders{"a", "a/b", "a/b/c", "a/d", "e", "f", "g"};
    for (const QString &f : folders)
        makeFile(s.local.filePath("tree/" + f + "/x.gif"), f.toUtf8());
    s.rows = {{s.local.filePath("tree"), true}};
    s.options.connections = 4;
    s.server.busyMs = 40;
    QTimer wake;
    wake.start(5);
    EXPECT_EQ(s.publish().sent, folders.size());
    QHash<QString, qint64> made;
    for (int i = 0; i < s.server.commands.size(); ++i) {
        if (s.server.commands[i].startsWith("MKDIR "))
            made[s.server.commands[i].mid(6)] = s.server.startedAt[i];
    }
    for (const QString &f : folders) {
        EXPECT_TRUE(s.server.files.count(f + "/x.gif")) << f.toStdString();
        if (f.contains('/')) {
            EXPECT_GE(made[f] - made[f.section('/', 0, -2)], 40) << f.toStdString() << " before its parent";
        }
    }
    EXPECT_LT(qMax(made["a"], made["g"]) - qMin(made["a"], made["g"]), 40) << "side by side";
}

TEST(UploadEngine, ProgressLineTellsRateAndTimeLeft)
{
    EXPECT_EQ(ProgressLine(12, 300, 245760, 6144000, 1258291, 5),
              "12 of 300 files, 240 KB of 5.9 MB, 1.2 MB/s, about 5 s left");
    EXPECT_EQ(ProgressLine(0, 2, 0, 900, 0, -1), "0 of 2 files, 0 B of 900 B, 0 B/s");
    EXPECT_EQ(ProgressLine(1, 9, 1, 5LL << 30, 1024, 61),
              "1 of 9 files, 1 B of 5.0 GB, 1.0 KB/s, about 2 min left");
}

TEST(UploadEngine, FilesDeletedOrTruncatedOnTheServerAreSentAgain)
{
    Site s;
    s.publish();
    s.server.files.erase("index.htm");
    s.server.files["img/logo.gif"].chop(10);
    s.server.files[kTemporaryPrefix + "old.htm"] = "left by a broken publish";
    Summary again = s.publish();
    EXPECT_EQ(s.sent(again), QStringList({"img/logo.gif", "index.htm"}));
    EXPECT_EQ(s.server.files["img/logo.gif"], sample(3000, 1));
    EXPECT_FALSE(s.server.files.count(kTemporaryPrefix + "old.htm")) << "stale temporary files go";

    // A listing without sizes confirms nothing: every file goes again, every time.
    s.server.namesOnly = true;
    EXPECT_EQ(s.publish().sent, 6);
    EXPECT_EQ(s.publish().sent, 6);
}

// A run killed after it replaced a file must not leave a manifest that claims the
// version the server held before: here the page goes from $49 to $39 and back. Nor may
// the copy of the manifest a kill left half-saved stay beside it.
TEST(UploadEngine, AKilledRunLeavesNoClaimTheServerDoesNotBackUp)
{
    Site s;
    makeFile(s.local.filePath("site/index.htm"), "price $49");
    s.publish();
    const QString manifest = UploadEngine::manifestPath(s.options.manifestFolder, s.target);
    QByteArray onDisk; // what a kill right after the page was sent would leave
    QObject::connect(&s.engine, &UploadEngine::fileDone, [&](const FileResult &r) {
        if (r.remote == "index.htm" && onDisk.isEmpty())
            onDisk = testing_support::readAll(manifest);
    });
    makeFile(s.local.filePath("site/index.htm"), "price $39");
    EXPECT_EQ(s.publish().sent, 1);
    ASSERT_FALSE(onDisk.isEmpty());
    QObject::disconnect(&s.engine, &UploadEngine::fileDone, nullptr, nullptr);
    ASSERT_TRUE(testing_support::writeAll(manifest, onDisk));
    // A kill while the manifest was saved leaves the copy being written beside it.
    ASSERT_TRUE(testing_support::writeAll(manifest + ".Xq3z9A", onDisk));
    makeFile(s.local.filePath("site/index.htm"), "price $49");
    const Summary rerun = s.publish();
    EXPECT_EQ(s.sent(rerun), QStringList({"index.htm"}));
    EXPECT_EQ(s.server.files["index.htm"], "price $49");
    EXPECT_EQ(QDir(s.options.manifestFolder).entryList(QDir::Files),
              QStringList{QFileInfo(manifest).fileName()})
        << "no older copy left among the manifests";
}

// Files are confirmed and remembered as the run goes, not only at its end; a run
// quicker than the least time between confirmations confirms only at its end.
TEST(UploadEngine, ARunKilledLateKeepsWhatWasConfirmed)
{
    for (const int confirmAfterMs : {0, 60000}) {
        Site s;
        s.options.confirmAfterMs = confirmAfterMs;
        for (int i = 0; i < 120; ++i)
            makeFile(s.local.filePath(QString("many/%1.gif").arg(i)), "x");
        s.rows << Row{s.local.filePath("many"), true};
        const QString manifest = UploadEngine::manifestPath(s.options.manifestFolder, s.target);
        int sent = 0;
        QByteArray onDisk;
        QObject::connect(&s.engine, &UploadEngine::fileDone, [&](const FileResult &) {
            if (++sent == 115)
                onDisk = testing_support::readAll(manifest);
        });
        EXPECT_EQ(s.publish().sent, 126);
        if (confirmAfterMs == 0)
            EXPECT_GE(onDisk.count('\n'), 2 + 100) << "a heading of two lines, then one line a file";
        else
            EXPECT_LE(onDisk.count('\n'), 2) << "no file confirmed before the end";
    }
}

// The cache's numbers read back whatever their value, and numbers and hashes only in
// the form it writes.
TEST(UploadEngine, HashCacheNumbersReadBackOnlyAsWritten)
{
    const QByteArray hash(40, 'a');
    HashEntries entries;
    entries.insert("/zero", {{0, 0, 0, 0, 0}, 0, hash, 0});
    entries.insert("/far", {{LLONG_MAX, -1'000'000'000, LLONG_MIN, ULLONG_MAX, 7}, 10, hash, -3});
    const QByteArray text = FormatHashCache(entries);
    HashEntries back;
    ASSERT_TRUE(ParseHashCache(text, back));
    EXPECT_EQ(back.value("/far").stamp, entries.value("/far").stamp);
    EXPECT_EQ(back.value("/far").usedDay, -3);
    const QByteArray line = "1\t2\t3\t4\t5\t1\t" + hash + "\t6\t/f%25\n";
    for (const char *bad : {"01", "-0", "+1", " 1", "1 ", "", "-", "1a", "99999999999999999999"}) {
        QByteArray wrong = line;
        wrong.replace(0, 1, bad);
        EXPECT_FALSE(ParseHashCache("Quillmark local file hashes 1\n" + wrong + "end\t1\n", back)) << bad;
    }
    // A hash is 40 lower-case hex digits, as written; anything else is a damaged cache.
    for (const QByteArray &bad : {hash + "a", hash.left(39), QByteArray(40, 'A'), QByteArray(40, 'g')}) {
        const QByteArray wrong = QByteArray(line).replace(hash, bad);
        EXPECT_FALSE(ParseHashCache("Quillmark local file hashes 1\n" + wrong + "end\t1\n", back))
            << bad.data();
    }
    ASSERT_TRUE(ParseHashCache("Quillmark local file hashes 1\n" + line + "end\t1\n", back));
    EXPECT_EQ(back.keys(), QStringList{"/f%"});
}

// The cache of local hashes is used while a file keeps its size, times and inode, and
// only then: a file rewritten with the same size and its time put back is read again,
// a damaged cache is no cache, and a file read too soon after a change is not kept.
TEST(UploadEngine, CachedHashesServeOnlyFilesThatStayedTheSame)
{
    Site s;
    s.options.hashCache = s.data.filePath("local-files.cache");
    s.publish();
    const QString logo = s.local.filePath("site/img/logo.gif"), zip = s.local.filePath("extra/a.zip");
    const QByteArray other(40, 'f'); // a hash neither file has
    const auto cache = [&](const QString &path, const QByteArray &hash) {
        HashEntries entries;
        StampOf(path, entries[path].stamp);
        entries[path].sentSize = entries[path].stamp.size;
        entries[path].hash = hash;
        return FormatHashCache(entries);
    };

    // A damaged cache is read as none: the file is hashed and found unchanged.
    ASSERT_TRUE(testing_support::writeAll(s.options.hashCache, cache(zip, other).chopped(4)));
    EXPECT_EQ(s.sent(s.publish()), QStringList());
    // Whole, it is believed while the stamp holds.
    ASSERT_TRUE(testing_support::writeAll(s.options.hashCache, cache(zip, other)));
    EXPECT_EQ(s.sent(s.publish()), QStringList({"a.zip"}));

    // Same size, modification time put back: the change time still tells.
    ASSERT_TRUE(testing_support::writeAll(
        s.options.hashCache,
        cache(logo, QCryptographicHash::hash(sample(3000, 1), QCryptographicHash::Sha1).toHex())));
    FileStamp before;
    StampOf(logo, before);
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // past the clock tick of its last change
    makeFile(logo, sample(3000, 9));
    const timespec times[2] = {{0, UTIME_OMIT},
                               {before.modifiedNs / 1'000'000'000, before.modifiedNs % 1'000'000'000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(logo).constData(), times, 0), 0);
    FileStamp after;
    StampOf(logo, after);
    ASSERT_EQ(after.modifiedNs, before.modifiedNs);
    // (a.zip, sent under the cache's wrong hash, goes again now that its bytes are read)
    EXPECT_EQ(s.sent(s.publish()), QStringList({"img/logo.gif", "a.zip"}));
    EXPECT_EQ(s.server.files["img/logo.gif"], sample(3000, 9));

    // Read within moments of its last change, a file is not remembered.
    HashCache fresh(s.options.hashCache);
    const QByteArray hash(40, 'a');
    fresh.remember(logo, after, hash, after.size, NowNs());
    fresh.remember(zip, after, hash, after.size, NowNs() + HashCache::kSettledNs + 1'000'000'000);
    FileStamp putBack = after; // its modification time long ago, its change just now
    putBack.modifiedNs = 0;
    const QString css = s.local.filePath("site/style.css");
    fresh.remember(css, putBack, hash, after.size, NowNs());
    ASSERT_TRUE(fresh.save());
    HashCache read(s.options.hashCache);
    read.load();
    QByteArray found;
    qint64 size = 0;
    EXPECT_FALSE(read.lookup(logo, after, found, size));
    EXPECT_FALSE(read.lookup(css, putBack, found, size));
    EXPECT_TRUE(read.lookup(zip, after, found, size) && found == hash && size == after.size);
}

// A use marks an entry as used today (written at most once a day); the cache forgets
// entries unused for 90 days and never holds more than 100,000, ties at the cut included.
TEST(UploadEngine, HashCacheKeepsWhatIsUsedAndStaysWithinItsLimit)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("local-files.cache");
    const qint64 today = NowNs() / 86'400'000'000'000;
    const QByteArray hash(40, 'a');
    HashEntries entries;
    for (int i = 0; i < 100'001; ++i) // one more than the limit, all used yesterday but f0
        entries.insert(QString("/site/f%1").arg(i), {{i, 0, 0, 0, 1}, i, hash, today - 1});
    entries["/site/f0"].usedDay = today - 60;
    entries["/site/gone"] = {{1, 0, 0, 0, 1}, 1, hash, today - 91};
    ASSERT_TRUE(testing_support::writeAll(path, FormatHashCache(entries)));

    HashCache cache(path);
    cache.load();
    QByteArray found;
    qint64 size = 0;
    ASSERT_TRUE(cache.lookup("/site/f0", entries["/site/f0"].stamp, found, size));
    ASSERT_TRUE(cache.save());
    HashEntries back;
    ASSERT_TRUE(ParseHashCache(testing_support::readAll(path), back));
    EXPECT_EQ(back.size(), 100'000);
    EXPECT_FALSE(back.contains("/site/gone"));
    EXPECT_EQ(back.value("/site/f0").usedDay, today) << "a file used today would be forgotten";
}

TEST(UploadEngine, DryRunSendsAndRemembersNothing)
{
    Site s;
    s.options.dryRun = true;
    Summary dry = s.publish();
    EXPECT_EQ(s.sent(dry, Action::WouldSend).size(), 6);
    EXPECT_TRUE(s.server.files.empty());
    EXPECT_TRUE(s.server.commands.filter(QRegularExpression("^(Put|Rename|Delete|MKDIR)")).isEmpty());
    EXPECT_TRUE(QDir(s.options.manifestFolder).isEmpty()) << "a dry run remembers nothing";
}

// Files Quillmark sent that are no longer among the rows are listed; removed only
// when asked and only after every upload of the run succeeded; others never.
TEST(UploadEngine, FilesNoLongerUsedAreRemovedOnlyAfterACleanRun)
{
    Site s;
    s.server.files["theirs.htm"] = "not ours";
    s.publish();
    s.rows.removeAt(2); // a.zip
    s.rows.removeAt(1); // page two.htm
    s.options.dryRun = true;
    EXPECT_EQ(s.publish().noLongerUsed, QStringList({"a.zip", "page two.htm"}));

    s.options.dryRun = false;
    s.options.removeUnused = true;
    makeFile(s.local.filePath("site/new.css"), "x");
    s.server.failPut = "new.css";
    Summary failed = s.publish();
    EXPECT_EQ(failed.failed, 1);
    EXPECT_TRUE(failed.files[0].error.startsWith("The server refused the file new.css.\r\nError Msg: 553 "))
        << failed.files[0].error.toStdString();
    EXPECT_TRUE(failed.removed.isEmpty());
    EXPECT_TRUE(s.server.files.count("a.zip")) << "a failed run removes nothing";

    // An empty list is far likelier a mistake than a wish to empty the site.
    const QVector<Row> rows = std::exchange(s.rows, {});
    EXPECT_TRUE(s.publish().removed.isEmpty());
    EXPECT_TRUE(s.server.files.count("index.htm"));
    s.rows = rows;

    s.server.failPut.clear();
    Summary clean = s.publish();
    EXPECT_EQ(clean.removed, QStringList({"a.zip", "page two.htm"}));
    EXPECT_FALSE(s.server.files.count("a.zip"));
    EXPECT_TRUE(s.server.files.count("theirs.htm"));
    EXPECT_TRUE(s.publish().noLongerUsed.isEmpty());
}

// Two rows for one remote path: the later one goes, as it would by overwriting, and
// the other fails the publish.
// Each remote folder of a server has its own list of what was sent: a site published
// to another folder finds nothing of the first one's there to remove.
TEST(UploadEngine, RemotePathsAndFoldersEachHaveOneOwner)
{
    Site s;
    makeFile(s.local.filePath("other.css"), "p{}");
    s.rows << Row{s.local.filePath("other.css"), false, "style.css"};
    const Summary twice = s.publish();
    EXPECT_EQ(twice.sent, 6);
    EXPECT_EQ(twice.failed, 1);
    EXPECT_EQ(s.server.files["style.css"], "p{}");

    s.target.remoteFolder = "elsewhere";
    s.rows.removeLast();
    QFile::remove(s.local.filePath("extra/a.zip"));
    const Summary other = s.publish();
    EXPECT_EQ(other.sent, 5);
    EXPECT_TRUE(other.noLongerUsed.isEmpty()) << other.noLongerUsed.join(' ').toStdString();
}

TEST(UploadEngine, CannotConnectNamesTheHostAndPort)
{
    Target target;
    target.host = "ftp.example.com";
    EXPECT_EQ(PlainFailure(transport::kTransportCannotConnect, target),
              "Could not reach ftp.example.com on port 21.");
    target.protocol = Protocol::Sftp;
    EXPECT_EQ(PlainFailure(transport::kTransportCannotConnect, target),
              "Could not reach ftp.example.com on port 22.");
    target.host = "ftps://h.example:990";
    EXPECT_EQ(PlainFailure(transport::kTransportCannotConnect, target),
              "Could not reach h.example on port 990.");
    // Storage endpoints: the port of their scheme.
    target.protocol = Protocol::S3;
    target.host = "http://127.0.0.1";
    EXPECT_EQ(PlainFailure(transport::kTransportCannotConnect, target),
              "Could not reach 127.0.0.1 on port 80.");
    target.host = "https://s3.example.com";
    EXPECT_EQ(PlainFailure(transport::kTransportCannotConnect, target),
              "Could not reach s3.example.com on port 443.");
}

TEST(UploadEngine, ListingsOfEveryKindAreRead)
{
    QStringList refused;
    const auto entries = ParseListing("type=cdir;size=0; .\r\n"
                                      "type=file;size=20480;modify=20240101000000; page.htm \r\n"
                                      "type=dir;modify=1; img\r\n"
                                      "-rw-r--r--    1 0        0           12 Jan 01 12:00 a b.gif\r\n"
                                      "drwxr-xr-x 2 owner group 4096 Dec 31  2023 sub\r\n"
                                      "lrwxrwxrwx 1 o g 7 Mar  3 10:10 link -> target\r\n"
                                      "-rw-r--r--   1 0        0            7 06 Dec 13:58 day first\r\n"
                                      "12-06-26  10:15PM       <DIR>          old site\r\n"
                                      "12-06-26  09:05AM                 1234 price list.htm\r\n"
                                      "~quillmark-part-/../../../victim.htm\r\n"
                                      "12-06-26  10:15PM                 7 ..\\up.htm\r\n"
                                      "type=file;size=1; a/b\r\n"
                                      "bare.txt\r\n..\r\n\r\n",
                                      &refused);
    // Blanks belong to the name; a link is named without its target; no size is -1.
    std::vector<std::tuple<QString, qint64, bool>> seen;
    for (const RemoteEntry &e : entries)
        seen.emplace_back(e.name, e.size, e.isFolder);
    EXPECT_EQ(seen, (std::vector<std::tuple<QString, qint64, bool>>{{"page.htm ", 20480, false},
                                                                    {"img", -1, true},
                                                                    {"a b.gif", 12, false},
                                                                    {"sub", 4096, true},
                                                                    {"link", 7, false},
                                                                    {"day first", 7, false},
                                                                    {"old site", -1, true},
                                                                    {"price list.htm", 1234, false},
                                                                    {"bare.txt", -1, false}}));
    // Names that lead out of the folder are never used, only reported.
    EXPECT_EQ(refused, QStringList({"~quillmark-part-/../../../victim.htm", "..\\up.htm", "a/b"}));
    // A lone CR or LF ends a line as CRLF does: no name carries a line break.
    QStringList names;
    for (const RemoteEntry &e : ParseListing("a\rb\nc\r\n\r\rd\r", nullptr))
        names << e.name;
    EXPECT_EQ(names, QStringList({"a", "b", "c", "d"}));
}

TEST(UploadEngine, RowsForAPageAndSavedTarget)
{
    QTemporaryDir dir;
    const QString page = dir.filePath("index.htm");
    makeFile(page, "p");
    makeFile(dir.filePath("logo.gif"), "g");
    makeFile(page + ".files",
             (":: comment\r\n" + dir.filePath("logo.gif") + "\r\n" + dir.filePath("missing.gif") + "\r\n")
                 .toLocal8Bit());
    const QVector<Row> rows = RowsForPage(page);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].localPath, page);
    EXPECT_EQ(rows[1].localPath, dir.filePath("logo.gif"));

    // Settings as earlier versions saved them: the protocol as the combo box's text.
    makeFile(dir.filePath("ftpinfo.ini"), "[TEXT]\r\ntxtServerName=ftp.example.com\r\ntxtServerPort=2121\r\n"
                                          "txtUserId=me\r\ntxtPassword=pw\r\ntxtRemoteDir=www\r\n"
                                          "cboProtocol=SFTP\r\ntxtWebAddress=http://example.com/\r\n"
                                          "[lstFiles]\r\nSIZE=1x2\r\nlstFiles_File or Folder Name_1=a b\r\n"
                                          "lstFiles_File or Folder Name_1_1=/site/a b\r\n");
    SavedTarget saved = SavedTarget::load(dir.filePath("ftpinfo.ini"));
    const Target &t = saved.target;
    EXPECT_EQ(QStringList({t.host, QString::number(t.port), t.user, t.password, t.remoteFolder}),
              QStringList({"ftp.example.com", "2121", "me", "pw", "www"}));
    EXPECT_EQ(t.protocol, Protocol::Sftp);
    EXPECT_EQ(t.webAddress, "http://example.com/");
    ASSERT_EQ(saved.files.size(), 1);
    EXPECT_EQ(saved.files[0].path, "/site/a b");
    EXPECT_TRUE(saved.onlyChanged && t.pathStyle) << "a file without them keeps the defaults";
    EXPECT_EQ(saved.keepVersions, kDefaultKeepVersions);

    // Saved again: the protocol as its key, owner-only, and it loads back the same.
    saved.target.protocol = Protocol::FtpTls;
    saved.onlyChanged = false;
    saved.keepVersions = 3;
    ASSERT_TRUE(saved.save(dir.filePath("ftpinfo.ini")));
    EXPECT_EQ(QFile::permissions(dir.filePath("ftpinfo.ini")) & 0x0077, 0);
    const QByteArray bytes = testing_support::readAll(dir.filePath("ftpinfo.ini"));
    EXPECT_TRUE(bytes.contains("cboProtocol=ftps")) << bytes.constData();
    EXPECT_TRUE(bytes.contains("lstFiles_File or Folder Name_1_1=/site/a b")) << bytes.constData();
    const SavedTarget back = SavedTarget::load(dir.filePath("ftpinfo.ini"));
    EXPECT_EQ(back.target.protocol, Protocol::FtpTls);
    EXPECT_FALSE(back.onlyChanged);
    EXPECT_EQ(back.keepVersions, 3);
    saved.keepVersions = kDefaultKeepVersions; // back to the default, which replaces the 3
    ASSERT_TRUE(saved.save(dir.filePath("ftpinfo.ini")));
    EXPECT_EQ(SavedTarget::load(dir.filePath("ftpinfo.ini")).keepVersions, kDefaultKeepVersions);
    for (const auto &[stored, keep] : {std::pair{"0", 1}, {"5000", kMaxKeepVersions}, {"many", 10}}) {
        makeFile(dir.filePath("keep.ini"), QByteArray("[TEXT]\r\nKeepVersions=") + stored + "\r\n");
        EXPECT_EQ(SavedTarget::load(dir.filePath("keep.ini")).keepVersions, keep) << stored;
    }
    EXPECT_EQ(back.files.size(), 1);
    for (const auto &[stored, protocol] :
         std::vector<std::pair<QString, Protocol>>{{"ftp", Protocol::Ftp},
                                                   {"FTP", Protocol::Ftp},
                                                   {"ftps", Protocol::FtpTls},
                                                   {"FTP with TLS", Protocol::FtpTls},
                                                   {"sftp", Protocol::Sftp},
                                                   {"", Protocol::Ftp}}) {
        EXPECT_EQ(ProtocolFromKey(stored), protocol) << stored.toStdString();
        EXPECT_EQ(ProtocolFromKey(ProtocolKey(protocol)), protocol);
    }
    EXPECT_EQ(LiveAddress(t.webAddress, "img/a b.gif"), "http://example.com/img/a%20b.gif");
}
