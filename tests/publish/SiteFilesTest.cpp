// What a folder or a ".files" list may send: links, hidden files, the program's own
// files, paths outside the page's folder, missing lines, names that are not UTF-8.
#include "publish/SiteFiles.h"
#include "FtpServerFixture.h"
#include "platform/AppFolder.h"
#include "publish/UploadEngine.h"

#include <QDir>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace publish;
using publish_testing::makeFile;

namespace {

// site/ holds a page, a picture, hidden files, links of every kind, a copy of the
// settings file (as when the user data folder itself is published) and a name that
// is not UTF-8; outside/ holds what must never go.
struct SiteTree : ::testing::Test {
    QTemporaryDir tmp;
    QString site = tmp.filePath("site"), outside = tmp.filePath("outside");
    QStringList own{site + "/ftpinfo.ini", site + "/manifests", tmp.filePath("data/sites") + "/*.ini"};

    void SetUp() override
    {
        for (const char *f : {"site/index.htm", "site/img/logo.gif", "site/Zeta.txt", "site/.env",
                              "site/.git/config", "site/ftpinfo.ini", "site/manifests/a.manifest",
                              "outside/secret.txt", "outside/dir/x.txt", "data/sites/Product.ini",
                              "site/img/setup.ini"}) // the site's own: only the data folder's .ini are ours
            ASSERT_TRUE(makeFile(tmp.filePath(f), f));
        const struct {
            const char *target, *link;
        } links[] = {{"../outside/secret.txt", "out-file"},
                     {"../outside/dir", "out-dir"},
                     {"/etc/passwd", "passwd"},
                     {"..", "img/up"},
                     {"index.htm", "same.htm"},
                     {"nowhere", "broken"}};
        for (const auto &l : links)
            ASSERT_EQ(::symlink(l.target, QFile::encodeName(site + "/" + l.link).constData()), 0) << l.link;
        ASSERT_EQ(::link(QFile::encodeName(site + "/ftpinfo.ini").constData(),
                         QFile::encodeName(site + "/copy.ini").constData()),
                  0);
        const int fd =
            ::open((QFile::encodeName(site) + "/bad\xff.htm").constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    // QTemporaryDir cannot remove a name it cannot decode.
    void TearDown() override { ::unlink((QFile::encodeName(site) + "/bad\xff.htm").constData()); }
};

QStringList remotes(const SiteFiles &s)
{
    QStringList out;
    for (const SiteFile &f : s.files)
        out << f.remote;
    return out;
}

// "name: reason" for each skip, "!" after a fault, with the site's path cut off; one a line.
std::string skips(const SiteFiles &s, const QString &base)
{
    QStringList out;
    for (const SiteSkip &k : s.skipped)
        out << QString("%1: %2%3").arg(QString(k.path).remove(base + "/"), k.reason, k.fault ? " !" : "");
    return out.join('\n').toStdString();
}

} // namespace

TEST_F(SiteTree, FolderWalkSendsOnlyTheSite)
{
    const QString bad = QFile::decodeName("bad\xff.htm");
    const SiteFiles plain = WalkSite(site + "/", false, own);
    EXPECT_EQ(remotes(plain),
              QStringList({"index.htm", "same.htm", "Zeta.txt", "img/logo.gif", "img/setup.ini"}));
    EXPECT_EQ(plain.files[1].local, site + "/same.htm") << "a link inside goes as the file it points to";
    // The hash cache trusts the walk's stamp: a link's must be its target's, or none.
    for (const SiteFile &f : plain.files) {
        FileStamp now;
        ASSERT_TRUE(StampOf(f.local, now));
        EXPECT_TRUE(f.stamp.size < 0 || f.stamp == now) << f.remote.toStdString();
        EXPECT_EQ(f.size, now.size) << f.remote.toStdString();
    }
    const QStringList expected = {
        ".env: hidden file",
        ".git: hidden folder",
        bad + ": its name is not valid UTF-8, so it cannot be sent; rename it !",
        "broken: link to nothing",
        "copy.ini: one of Quillmark's own files, never sent !",
        "ftpinfo.ini: one of Quillmark's own files, never sent !",
        "manifests: one of Quillmark's own files, never sent !",
        "out-dir: link to outside the folder",
        "out-file: link to outside the folder",
        "passwd: link to outside the folder",
        "img/up: link loop",
    };
    EXPECT_EQ(skips(plain, site), expected.join('\n').toStdString());

    const SiteFiles hidden = WalkSite(site, true, own);
    EXPECT_EQ(remotes(hidden), QStringList({".env", "index.htm", "same.htm", "Zeta.txt", ".git/config",
                                            "img/logo.gif", "img/setup.ini"}));
    EXPECT_EQ(hidden.skipped.size(), plain.skipped.size() - 2);
    // A published folder that is itself one of the program's own sends nothing.
    const SiteFiles manifests = WalkSite(site + "/manifests", false, own);
    EXPECT_TRUE(manifests.files.isEmpty());
    ASSERT_EQ(manifests.skipped.size(), 1);
    EXPECT_TRUE(manifests.skipped[0].fault);
    // A sibling whose name begins with the site's is outside it all the same.
    ASSERT_TRUE(makeFile(tmp.filePath("site-old/x.htm"), "x"));
    ASSERT_EQ(::symlink("../site-old/x.htm", QFile::encodeName(site + "/sib.htm").constData()), 0);
    EXPECT_FALSE(remotes(WalkSite(site, false, own)).contains("sib.htm"));
}

// The program's own files as it names them, when its data folder is the published site:
// walked, or referred to by a page.
// A folder walked once may be reached again through a link from a later sibling: that
// is a second name for it, not a loop.
TEST(SiteWalk, AFolderLinkedFromASiblingGoesUnderBothNames)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(makeFile(tmp.filePath("img/a.gif"), "gif"));
    ASSERT_TRUE(QDir(tmp.path()).mkdir("z"));
    ASSERT_EQ(::symlink("../img", QFile::encodeName(tmp.filePath("z/pictures")).constData()), 0);
    const SiteFiles walked = WalkSite(tmp.path(), false, {});
    EXPECT_EQ(remotes(walked), QStringList({"img/a.gif", "z/pictures/a.gif"}));
    EXPECT_EQ(skips(walked, tmp.path()), "");
}

TEST_F(SiteTree, TheDataFolderPublishedKeepsTheProgramsFilesBack)
{
    platform::setUserDataFolder(site);
    for (const char *f : {"versions/v1", "local-files.cache", "sites/Old.INI", "sites-old/a.ini"})
        ASSERT_TRUE(makeFile(site + "/" + f, f));
    const QStringList sent = remotes(WalkSite(site, true, ProgramOwnFiles()));
    for (const char *own : {"ftpinfo.ini", "copy.ini", "manifests/a.manifest", "versions/v1",
                            "local-files.cache", "sites/Old.INI"})
        EXPECT_FALSE(sent.contains(own)) << own;
    for (const char *theirs : {"img/setup.ini", "sites-old/a.ini"}) // beside the sites folder, not in it
        EXPECT_TRUE(sent.contains(theirs)) << theirs;
    // A link beside the page's folder leads into it, but its name would land outside the remote folder.
    ASSERT_TRUE(QFile::link(site + "/index.htm", tmp.filePath("alias.htm")));
    const SiteFiles page = PageAndReferences(
        site + "/index.htm",
        {site + "/ftpinfo.ini", site + "/img", site + "/img/logo.gif", tmp.filePath("alias.htm")},
        ProgramOwnFiles());
    EXPECT_EQ(remotes(page), QStringList({"index.htm", "img/logo.gif"}));
    platform::setUserDataFolder(QString());
}

TEST_F(SiteTree, ListLinesStayInsideThePageFolder)
{
    const QString list = site + "/index.htm.files";
    const QStringList lines = {":: comment",
                               "",
                               site + "/index.htm",
                               "img/logo.gif",
                               "../outside/secret.txt",
                               "/etc/passwd",
                               "out-file",
                               "ftpinfo.ini",
                               "copy.ini",
                               site + "/missing.gif",
                               "img",
                               tmp.filePath("data/sites/Product.ini")};
    ASSERT_TRUE(makeFile(list, lines.join("\r\n").toLocal8Bit() + "\r\nbad\xff.htm\r\n"));
    const SiteFiles read = ReadFilesList(list, own);
    ASSERT_EQ(read.files.size(), 2);
    EXPECT_EQ(read.files[0].local, site + "/index.htm");
    EXPECT_EQ(read.files[1].local, site + "/img/logo.gif");
    EXPECT_EQ(read.files[1].remote, "img/logo.gif"); // where the page's addresses lead
    const QString outsideReason = "outside the page's folder, never sent !";
    const QString ownReason = "one of Quillmark's own files, never sent !";
    EXPECT_EQ(skips(read, site),
              QStringList({"../outside/secret.txt: " + outsideReason, "/etc/passwd: " + outsideReason,
                           "out-file: " + outsideReason, "ftpinfo.ini: " + ownReason,
                           "copy.ini: " + ownReason, "missing.gif: no such file !", "img: not a file !",
                           tmp.filePath("data/sites/Product.ini: ") + ownReason,
                           QFile::decodeName("bad\xff.htm") + ": no such file !"})
                  .join('\n')
                  .toStdString());
}

TEST(SavedPassword, ServesOnlyTheProtocolHostPortAndUserItWasSavedFor)
{
    const Target saved{Protocol::FtpTls, "ftp.example.com", 0, "me", "pw", "", "", "", "", "", true};
    const struct {
        Protocol protocol;
        const char *host;
        int port;
        const char *user;
        bool serves;
    } cases[] = {
        {Protocol::FtpTls, "FTP.Example.com", 0, "me", true},
        {Protocol::FtpTls, "ftp.example.com", 21, "me", true}, // the protocol's own port
        {Protocol::Ftp, "ftps://ftp.example.com:21", 0, "me", true},
        {Protocol::Ftp, "ftp.example.com", 0, "me", false},
        {Protocol::Sftp, "ftp.example.com", 0, "me", false},
        {Protocol::FtpTls, "ftp.example.com", 2121, "me", false},
        {Protocol::FtpTls, "ftp.example.com:2121", 0, "me", false},
        {Protocol::FtpTls, "www.example.com", 0, "me", false},
        {Protocol::FtpTls, "ftp.example.com", 0, "Me", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.host);
        Target t;
        t.protocol = c.protocol;
        t.host = c.host;
        t.port = c.port;
        t.user = c.user;
        EXPECT_EQ(SavedPasswordServes(saved, t), c.serves);
        EXPECT_EQ(PasswordKey(saved) == PasswordKey(t), c.serves) << PasswordKey(t).toStdString();
    }
}
