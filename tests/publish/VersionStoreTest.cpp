// Versions: copies shared and pruned with the versions, nothing recorded that could
// name a missing copy, and a roll-back against pyftpdlib that sends only what differs.

#include "publish/VersionStore.h"
#include "FtpServerFixture.h"
#include "platform/AppFolder.h"
#include "publish/SiteFiles.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QThread>
#include <gtest/gtest.h>

using namespace publish;
using namespace publish_testing;
using testing_support::readAll;

namespace {

struct Store {
    QTemporaryDir site, data;
    VersionStore store{data.filePath("versions")};
    Target target = [] {
        Target t;
        t.host = "127.0.0.1";
        t.user = "user";
        t.remoteFolder = "www";
        return t;
    }();

    // A publish of the given files (remote name = local name) as the engine reports it.
    Summary publish(const std::map<QString, QByteArray> &files, Action action = Action::Sent)
    {
        Summary s;
        for (const auto &[name, bytes] : files) {
            makeFile(site.filePath(name), bytes);
            s.files.push_back({site.filePath(name), name, action, {}, bytes.size()});
        }
        return s;
    }
    QStringList blobs() const
    {
        QStringList out;
        QDirIterator it(store.folder() + "/blobs", QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            out << QFileInfo(it.next()).fileName();
        return out;
    }
};

TEST(Versions, CopiesAreSharedAndGoWithTheLastVersionNamingThem)
{
    Store s;
    const QByteArray picture = sample(5000, 1);
    for (int i = 0; i < 4; ++i) // the picture never changes, the page always does
        ASSERT_EQ(s.store.record(s.target,
                                 s.publish({{"pic.gif", picture}, {"index.htm", sample(300, 10 + i)}}), 2),
                  "");
    QVector<Version> kept = s.store.list(s.target);
    ASSERT_EQ(kept.size(), 2);
    EXPECT_EQ(s.blobs().size(), 3) << "one picture and the two pages kept";
    platform::setUserDataFolder(s.data.path());
    makeFile(s.data.filePath("local-files.cache"), "x");
    EXPECT_TRUE(WalkSite(s.data.path(), true, ProgramOwnFiles()).files.isEmpty())
        << "the copies and the cache of local hashes are never sent";
    platform::setUserDataFolder(QString());
    EXPECT_GT(kept[0].time, kept[1].time.addMSecs(-1));

    // Nothing new is no new version; what did not go through whole is none at all.
    Summary failed = s.publish({{"index.htm", "x"}}), stopped = failed, dry = failed, broken = failed;
    failed.failed = 1;
    stopped.cancelled = true;
    dry.files[0].action = Action::WouldSend;
    broken.error = "lost";
    const QString newest = kept[0].id;
    for (const Summary &run :
         {s.publish({{"pic.gif", picture}, {"index.htm", sample(300, 13)}}, Action::Unchanged), failed,
          stopped, dry, broken})
        EXPECT_EQ(s.store.record(s.target, run, 2), "");
    kept = s.store.list(s.target);
    ASSERT_EQ(kept.size(), 2);
    EXPECT_EQ(kept[0].id, newest);

    // A file that changed after it was sent makes no version: its copy would lie.
    Summary changed = s.publish({{"index.htm", "new page"}});
    makeFile(s.site.filePath("index.htm"), "newer page");
    EXPECT_NE(s.store.record(s.target, changed, 2), "");
    // A copy cut short, lost or damaged: the version is left out, or refused when written back.
    ASSERT_TRUE(QFile::resize(s.store.blobPath(kept[1].files[0].hash), 100)); // its own page, not the picture
    EXPECT_EQ(s.store.list(s.target).size(), 1);
    ASSERT_TRUE(QFile::remove(s.store.blobPath(kept[1].files[0].hash)));
    EXPECT_EQ(s.store.list(s.target).size(), 1);
    makeFile(s.store.blobPath(kept[0].files[0].hash), QByteArray(int(kept[0].files[0].size), 'z'));
    QTemporaryDir out;
    EXPECT_NE(s.store.materialise(kept[0], out.path()), "");
    // Left-overs of an interrupted copy go with the next pruning.
    makeFile(s.store.blobPath(QByteArray(40, 'a')) + ".XyZ123", "torn");
    ASSERT_EQ(s.store.record(s.target, s.publish({{"index.htm", "other"}}), 1), "");
    EXPECT_EQ(s.blobs(), QStringList{s.store.list(s.target)[0].files[0].hash});

    // Copies handed over while the files go land in one pack, in place and whole once
    // finished, one a content and nothing under another name, and are the ones the
    // version names.
    std::map<QString, QByteArray> early;
    for (int i = 0; i < 6; ++i)
        early[QString("early%1.gif").arg(i)] = sample(900 + i % 3, 4 + i % 3); // three contents, twice
    const auto hashOf = [](const QByteArray &b) {
        return QCryptographicHash::hash(b, QCryptographicHash::Sha1).toHex();
    };
    const QDir packs(s.store.folder() + "/packs");
    for (const auto &[name, bytes] : early)
        s.store.copyAhead(hashOf(bytes), bytes);
    // Told that no copy follows, the store puts them in place by itself; a late one is
    // left to recording.
    s.store.noMoreCopies();
    s.store.copyAhead(hashOf("late"), "late");
    const auto inPlace = [&] {
        return packs.entryList(QDir::Files) == QStringList{packs.entryList({"*.pack"}).value(0)};
    };
    for (int wait = 0; wait < 500 && !inPlace(); ++wait)
        QThread::msleep(10);
    EXPECT_TRUE(inPlace()) << packs.entryList(QDir::Files).join(' ').toStdString();
    s.store.finishCopies();
    const QString pack = packs.filePath(packs.entryList({"*.pack"}).value(0));
    QFile packFile(pack);
    ASSERT_TRUE(packFile.open(QIODevice::ReadOnly));
    QStringList inPack;
    for (const PackEntry &e : ReadPackEntries(packFile, packFile.size())) {
        packFile.seek(e.offset);
        EXPECT_EQ(hashOf(packFile.read(e.size)), e.hash);
        inPack << e.hash;
    }
    EXPECT_EQ(inPack.size(), 3) << "three contents";
    // A pack cut short loses the entry that no longer fits, and only that one.
    packFile.seek(0);
    QBuffer cut;
    cut.setData(packFile.readAll().chopped(1));
    packFile.close();
    cut.open(QIODevice::ReadOnly);
    EXPECT_EQ(ReadPackEntries(cut, cut.size()).size(), 2);
    EXPECT_EQ(s.blobs().size(), 1) << "the page kept, and no copy of its own for any in the pack";
    ASSERT_EQ(s.store.record(s.target, s.publish(early), 1), "");
    EXPECT_TRUE(s.blobs().isEmpty()) << "the page went with its version";
    EXPECT_EQ(s.store.materialise(s.store.list(s.target)[0], out.path()), "");
    for (const auto &[name, bytes] : early)
        EXPECT_EQ(readAll(out.filePath(name)), bytes);

    // A pack mostly unused hands what is still named over to copies of their own and
    // goes; one unused goes; a damaged one is never taken for whole.
    std::map<QString, QByteArray> one{{"early0.gif", early["early0.gif"]}};
    ASSERT_EQ(s.store.record(s.target, s.publish(one), 1), "");
    EXPECT_FALSE(QFile::exists(pack));
    EXPECT_EQ(s.blobs(), QStringList{hashOf(early["early0.gif"])});
    EXPECT_EQ(s.store.materialise(s.store.list(s.target)[0], out.path()), "");
    for (const auto &[name, bytes] : early)
        s.store.copyAhead(hashOf(bytes + "2"), bytes + "2");
    ASSERT_EQ(s.store.record(s.target,
                             s.publish({{"early1.gif", early["early1.gif"] + "2"},
                                        {"early2.gif", early["early2.gif"] + "2"}}),
                             2),
              "");
    ASSERT_EQ(packs.entryList({"*.pack"}).size(), 1) << "two of three in use";
    QFile damaged(packs.filePath(packs.entryList({"*.pack"})[0]));
    ASSERT_TRUE(damaged.open(QIODevice::ReadWrite));
    damaged.seek(damaged.size() - 1);
    damaged.write("!");
    damaged.close();
    EXPECT_NE(s.store.materialise(s.store.list(s.target)[0], out.path()), "");
    ASSERT_EQ(s.store.record(s.target, s.publish({{"index.htm", "new"}}), 1), "");
    EXPECT_TRUE(packs.entryList(QDir::Files).isEmpty());

    // A file edited after it went, to the same size, is not kept as what was sent.
    Summary edited = s.publish({{"index.htm", "sent"}});
    edited.files[0].hash = hashOf("sent");
    makeFile(s.site.filePath("index.htm"), "edit");
    EXPECT_TRUE(s.store.record(s.target, edited, 1).contains("changed while it was being published"));

    // A lock file left empty by a program killed as it took the lock a moment ago holds
    // nobody's name and nobody holds it: it keeps no one out (the rerun right after a
    // kill waited a minute for it and recorded nothing).
    const QString lock = s.store.folder() + "/lock";
    makeFile(lock, "");
    EXPECT_EQ(s.store.record(s.target, s.publish({{"index.htm", "after a kill"}}), 1), "");
}

// A publish that changed nothing is told from the newest version by the note beside
// it, which is trusted only while it describes the newest version, hashes included.
TEST(Versions, TheNewestVersionsNoteHoldsOnlyWhileItDescribesIt)
{
    Store s;
    const auto run = [&](const std::map<QString, QByteArray> &files, Action action) {
        Summary r = s.publish(files, action);
        for (FileResult &f : r.files)
            f.hash = QCryptographicHash::hash(readAll(f.local), QCryptographicHash::Sha1).toHex();
        return s.store.record(s.target, r);
    };
    const auto kept = [&] { return s.store.list(s.target).size(); };
    std::map<QString, QByteArray> site{{"a.gif", sample(800, 1)}, {"index.htm", sample(300, 2)}};
    for (int i = 0; i < 60; ++i) // a version of several pages of text
        site[QString("pictures/p%1.gif").arg(i)] = sample(50, i);
    std::map<QString, QByteArray> changed = site;
    changed["a.gif"] = sample(800, 3); // the same names and sizes, other bytes
    using Step = std::tuple<std::map<QString, QByteArray>, Action, int>; // a run, the versions after it
    for (const auto &[files, action, versions] : std::vector<Step>{{site, Action::Sent, 1},
                                                                   {site, Action::Unchanged, 1},
                                                                   {site, Action::Unchanged, 1},
                                                                   {changed, Action::Sent, 2}}) {
        ASSERT_EQ(run(files, action), "");
        EXPECT_EQ(kept(), versions);
    }
    // A newer version the note does not know of (from a build that keeps no note).
    Version older = s.store.list(s.target).last();
    older.time = QDateTime(QDate(2999, 1, 1), QTime(0, 0), Qt::UTC);
    QDirIterator note(s.store.folder(), {"newest.note"}, QDir::Files, QDirIterator::Subdirectories);
    ASSERT_TRUE(note.hasNext());
    makeFile(QFileInfo(note.next()).path() + "/29990101T000000000Z.version", FormatVersion(older));
    ASSERT_EQ(run(changed, Action::Unchanged), "");
    EXPECT_EQ(kept(), 4) << "what the server holds differs from the newest version";
    // As many versions as asked for, past the usual number.
    for (int i = 0; i < kDefaultKeepVersions; ++i)
        ASSERT_EQ(s.store.record(s.target, s.publish({{"index.htm", sample(300, 100 + i)}}), 12), "");
    EXPECT_EQ(kept(), 12);
}

TEST(Versions, ReadingRefusesWhatCouldWriteOutsideTheFolder)
{
    const QByteArray hash(40, 'a');
    const QByteArray head = "Quillmark version 1\ntime\t2026-12-07T01:00:00.000Z\n";
    Version v;
    EXPECT_TRUE(ParseVersion(head + "3\t" + hash + "\tdir/a%20b.htm\t/x\n", v));
    EXPECT_EQ(v.files.value(0).remote, "dir/a b.htm");
    EXPECT_TRUE(ParseVersion(FormatVersion(v), v) && v.files.value(0).remote == "dir/a b.htm");
    for (const QByteArray &line :
         {"3\t" + hash + "\t../up\t/x", "3\t" + hash + "\t/abs\t/x", "3\t" + hash + "\ta%2F..%2F..%2Fb\t/x",
          "3\t" + hash + "\ta//b\t/x", "-1\t" + hash + "\ta\t/x", "3\t" + hash.toUpper() + "\ta\t/x",
          QByteArray("3\tabc\ta\t/x"), QByteArray("3\t") + hash + "\ta", "3\t" + hash + "\tok\t/y"})
        EXPECT_FALSE(ParseVersion(head + "3\t" + hash + "\tok\t/x\n" + line, v)) << line.toStdString();
    EXPECT_FALSE(ParseVersion(head, v)) << "no files";
    EXPECT_FALSE(ParseVersion("Other\n3\t" + hash + "\ta\t/x", v));
}

TEST(Versions, RollBackSendsWhatDiffersAndLeavesTheServerAsItWas)
{
    FtpServer server;
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(QDir(server.root.path()).mkpath("www"));
    Store s;
    s.target.port = server.port();
    s.target.password = "secret";
    for (int i = 0; i < 12; ++i)
        makeFile(s.site.filePath(QString("site/img/p%1.gif").arg(i)), sample(900 + i, i));
    makeFile(s.site.filePath("site/index.htm"), "first page");
    makeFile(s.site.filePath("site/.htaccess"), "rules");
    Options options;
    options.manifestFolder = s.data.filePath("manifests");
    options.includeHidden = true;
    options.dryRun = false;
    UploadEngine engine;
    const QVector<Row> rows{{s.site.filePath("site"), true}};
    const auto publish = [&] {
        const Summary r = engine.run(rows, s.target, options);
        EXPECT_EQ(s.store.record(s.target, r, 10, options.manifestFolder), "");
        return r;
    };
    ASSERT_EQ(publish().sent, 14);
    const auto first = tree(server.path("www"));
    makeFile(s.site.filePath("site/index.htm"), "second page");
    makeFile(s.site.filePath("site/.htaccess"), "other rules"); // hidden, and goes back too
    ASSERT_EQ(publish().sent, 2);

    QString error;
    options.includeHidden = false; // a roll-back brings hidden files back all the same
    const struct {
        int back;
        bool dryRun;
        int sent, versions;
    } cases[] = {{2, false, 0, 2}, {1, true, 0, 2}, {1, false, 2, 3}, {1, false, 2, 4}};
    for (const auto &c : cases) {
        options.dryRun = c.dryRun;
        const Summary r = Rollback(engine, s.store, s.target, c.back, options, 10, &error);
        EXPECT_EQ(error.isEmpty(), c.back < 2) << error.toStdString();
        EXPECT_EQ(r.sent, c.sent);
        EXPECT_EQ(s.store.list(s.target).size(), c.versions);
    }
    // Back twice: first, second, first again, and then the second again.
    EXPECT_EQ(tree(server.path("www")), tree(s.site.filePath("site")));
    ASSERT_EQ(Rollback(engine, s.store, s.target, 1, options, 3, &error).sent, 2);
    EXPECT_EQ(tree(server.path("www")), first);
    EXPECT_EQ(s.store.list(s.target).size(), 3) << "as many kept as asked for";
    // The newest version again: the server holds it already.
    EXPECT_EQ(Rollback(engine, s.store, s.target, 0, options, 3, &error).sent, 0);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    options.includeHidden = true;
    options.dryRun = false;
    EXPECT_EQ(publish().sent, 2) << "the manifest knows what the roll-back sent";
}

} // namespace
