// Page generation: the dependency list, copies, wildcard match, failures.
#include "common/RecordingDialogs.h"
#include "common/TestSupport.h"
#include "generation/AnswerSafety.h"
#include "generation/FileList.h"
#include "generation/ProductFile.h"
#include "generation/modTemplates.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace generation;
using testing_support::readAll;
using testing_support::writeAll;

namespace {

const QByteArray kPng("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
// Pictures of this kind go beside the page as they are (PNG and JPEG are prepared).
const QByteArray kGif("GIF89a\1\0\1\0", 10);

class Generate : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(app + "/templates");
        QDir().mkpath(out);
        writeAll(app + "/templates/Sunrise.htm", "<p><ZOR_PAGE_DATA_SOFTWARENAME></p>");
    }
    bool generate(QString name, QString dest, QString image = {})
    {
        PageData d;
        d.txtSoftwareName = "Tool";
        return GenerateTemplateBasedPage(app, name, dest, image, d);
    }
    // The file lines of a dependency list (its frame is pinned by the reference pages).
    QStringList fileLines(const QString &dest) { return FileList::Parse(readAll(dest + ".files")); }
    testing_support::RecordingDialogs dialogs;
    QTemporaryDir tmp;
    const QString app = tmp.filePath("app"), out = tmp.filePath("out");
};

} // namespace

TEST_F(Generate, CopiesImageThenOwnFilesMatchedWithoutCase)
{
    for (const char *f : {"sunrise_bg.jpg", "SUNRISE_header.gif", "Sunrise_.css", "Sunrise_Blue.htm",
                          "Sunrise.gif", "Sunrise2_x.gif", "Ocean_bg.gif"})
        writeAll(app + "/templates/" + f, f);
    QDir().mkpath(app + "/templates/Sunrise_dir");
    writeAll(tmp.filePath("shot.gif"), kGif);
    const QString dest = out + "/page.htm";
    EXPECT_TRUE(generate("sunRISE", dest, tmp.filePath("shot.gif")));
    EXPECT_EQ(fileLines(dest),
              QStringList({dest, out + "/shot.gif", out + "/Sunrise_.css", out + "/sunrise_bg.jpg",
                           out + "/Sunrise_Blue.htm", out + "/SUNRISE_header.gif"}));
    EXPECT_EQ(readAll(out + "/shot.gif"), kGif);
    EXPECT_EQ(readAll(out + "/sunrise_bg.jpg"), "sunrise_bg.jpg");
    // A second run without the image (missing file: no copy, no line) rewrites the list;
    // the user's files beside the page stay, however their names look.
    writeAll(dest + ".BACKUP", "mine");
    writeAll(dest + ".files.OldOne", "mine");
    EXPECT_TRUE(generate("Sunrise", dest, tmp.filePath("none.png")));
    EXPECT_EQ(fileLines(dest).size(), 5);
    EXPECT_EQ(readAll(dest), "<p>Tool</p>");
    EXPECT_EQ(readAll(dest + ".BACKUP"), "mine");
    EXPECT_EQ(readAll(dest + ".files.OldOne"), "mine");
    EXPECT_EQ(QDir(out).entryList(QDir::Files).size(), 9); // nothing else, no temporary files
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(Generate, TemplateNameCharactersActAsWildcards)
{
    EXPECT_FALSE(LikeMatch("A#_X", "A#_*"));
    EXPECT_TRUE(LikeMatch("S[1_X", "S[1_*")); // an unclosed "[" is an ordinary character
    for (const char *f : {"Sale[1]_a.css", "Sale1_b.css"})
        writeAll(app + "/templates/" + f, "x");
    writeAll(app + "/templates/Sale[1].htm", "");
    const QString dest = out + "/p.htm";
    EXPECT_TRUE(generate("Sale[1]", dest));
    EXPECT_EQ(fileLines(dest), QStringList({dest, out + "/Sale1_b.css"}));
}

TEST_F(Generate, FailedCopiesAreListedAndSourcesSurvive)
{
    writeAll(app + "/templates/Sunrise_a.css", "a");
    QDir().mkpath(out + "/Sunrise_a.css"); // the copy cannot replace a folder
    const QString image = out + "/shot.gif";
    writeAll(image, kGif + "precious");
    const QString dest = out + "/page.htm";
    EXPECT_TRUE(generate("Sunrise", dest, image));
    EXPECT_EQ(fileLines(dest), QStringList({dest, image, out + "/Sunrise_a.css"}));
    EXPECT_EQ(readAll(image), kGif + "precious"); // copying the image onto itself keeps it
    // Generating into the templates folder must not destroy the template's files.
    EXPECT_TRUE(generate("Sunrise", app + "/templates/page.htm"));
    EXPECT_EQ(readAll(app + "/templates/Sunrise_a.css"), "a");
}

TEST_F(Generate, UnwritableDestinations)
{
    EXPECT_FALSE(generate("", out + "/page.htm"));
    EXPECT_EQ(dialogs.lastMessage(), "Please select a template");
    // Missing folder: a message naming the list, and nothing written.
    const QString lost = out + "/missing/page.htm";
    EXPECT_FALSE(generate("Sunrise", lost));
    EXPECT_TRUE(dialogs.lastMessage().contains(lost + ".files"));
    EXPECT_FALSE(QFile::exists(out + "/missing"));
    // The page cannot be written (a folder stands at its path): a failure naming the page,
    // the earlier list kept as it was, nothing copied.
    writeAll(app + "/templates/Sunrise_a.css", "a");
    const QString blocked = out + "/blocked.htm";
    QDir().mkpath(blocked);
    writeAll(blocked + ".files", "earlier list");
    EXPECT_FALSE(generate("Sunrise", blocked));
    EXPECT_TRUE(dialogs.lastMessage().startsWith("Unable to write the page " + blocked))
        << qPrintable(dialogs.lastMessage());
    EXPECT_EQ(readAll(blocked + ".files"), "earlier list");
    EXPECT_FALSE(QFile::exists(out + "/Sunrise_a.css"));
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList{"blocked.htm.files"});
    // A page named as a file copied beside it would be overwritten by that file.
    EXPECT_FALSE(generate("Sunrise", out + "/Sunrise_a.css"));
    EXPECT_TRUE(dialogs.lastMessage().startsWith("The page cannot be called Sunrise_a.css"))
        << qPrintable(dialogs.lastMessage());
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList{"blocked.htm.files"});
    // A missing template: a message naming it, and the existing page is left alone.
    const QString dest = out + "/kept.htm";
    writeAll(dest, "my page");
    EXPECT_FALSE(generate("Nothing", dest));
    EXPECT_EQ(dialogs.lastMessage(), "Unable to find the template Nothing");
    EXPECT_EQ(readAll(dest), "my page");
    EXPECT_FALSE(QFile::exists(dest + ".files"));
}

// What would put the upload password or a script on the web is refused before anything
// is written; what is copied stays as private as its source.
TEST_F(Generate, RefusesScriptLinksAndPicturesThatAreNotPictures)
{
    const QString dest = out + "/page.htm";
    PageData d;
    d.txtDownloadURL = " \tJava\nScript:alert(1)";
    EXPECT_FALSE(GenerateTemplateBasedPage(app, "Sunrise", dest, {}, d));
    EXPECT_TRUE(dialogs.lastMessage().contains("trial download address (txtDownloadURL) is a javascript:"))
        << qPrintable(dialogs.lastMessage());

    writeAll(app + "/templates/Sunrise_a.css", "a");
    for (const char *folder : {"/manifests", "/sites"})
        QDir().mkpath(app + folder);
    writeAll(app + "/ftpinfo.ini", "[TEXT]\r\ntxtPassword=secret\r\n");
    writeAll(app + "/sites/Tool.ini", kPng);
    writeAll(app + "/sites/Old.INI", kPng);
    writeAll(app + "/manifests/site.png", kPng);
    writeAll(tmp.filePath("notes.png"), "BM not a bitmap at all");
    QFile::link(app + "/ftpinfo.ini", tmp.filePath("link.png"));
    // A picture, but one of ours under another name.
    QFile::link(app + "/manifests/site.png", tmp.filePath("sent.png"));
    writeAll(tmp.filePath("two\nlines.png"), kPng); // would add a line to the list
    writeAll(tmp.filePath("two\rlines.png"), kPng);
    const std::pair<QString, const char *> refused[] = {
        {app + "/ftpinfo.ini", "one of Quillmark's own files"},
        {"sites/Tool.ini", "one of Quillmark's own files"}, // relative to the data folder
        {"sites/Old.INI", "one of Quillmark's own files"},
        {app + "/manifests/site.png", "one of Quillmark's own files"},
        {tmp.filePath("link.png"), "one of Quillmark's own files"},
        {tmp.filePath("sent.png"), "one of Quillmark's own files"},
        {tmp.filePath("notes.png"), "is not a picture"},
        {tmp.filePath("two\nlines.png"), "holds a line break"},
        {tmp.filePath("two\rlines.png"), "holds a line break"}};
    for (const auto &[image, why] : refused) {
        SCOPED_TRACE(image.toStdString());
        EXPECT_FALSE(generate("Sunrise", dest, image));
        EXPECT_TRUE(dialogs.lastMessage().contains(why)) << qPrintable(dialogs.lastMessage());
        EXPECT_TRUE(dialogs.lastMessage().endsWith("The page was not generated."));
        EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList{});
    }

    // A folder whose name only begins like one of ours is the user's.
    ASSERT_TRUE(QDir().mkpath(app + "/manifests.old") && writeAll(app + "/manifests.old/shot.gif", kGif));
    EXPECT_EQ(ProductPictureProblem(app + "/manifests.old/shot.gif", app), "");
    // Drawing programs put a long prolog before an SVG's root element.
    writeAll(tmp.filePath("logo.svg"), "<?xml version=\"1.0\"?>\n<!-- " + QByteArray(100, 'x') +
                                           " -->\n<svg xmlns=\"http://www.w3.org/2000/svg\"/>");
    EXPECT_EQ(ProductPictureProblem(tmp.filePath("logo.svg"), app), "");

    const QString shot = tmp.filePath("shot.gif");
    writeAll(shot, kGif);
    QFile::setPermissions(shot, QFile::ReadOwner | QFile::WriteOwner);
    const QString ownFile = app + "/templates/Sunrise_a.css";
    QFile::setPermissions(ownFile, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup);
    EXPECT_TRUE(generate("Sunrise", dest, shot));
    // Owner, group and others (the "user" bits only repeat the owner's).
    auto mode = [](const QString &path) { return QFile::permissions(path).toInt() & 0x7077; };
    EXPECT_EQ(mode(out + "/shot.gif"), 0x6000);
    EXPECT_EQ(mode(out + "/Sunrise_a.css") & ~mode(ownFile), 0);
}

// Lists written by hand or on another system: LF or CR LF, blank and comment lines
// passed over, a name's own blanks kept (a file may end in one, or hold "::").
TEST(FileListTest, ReadsEveryLineAsWritten)
{
    EXPECT_EQ(FileList::Parse(":: head\r\n\r\n/a/page.htm\r\n/a/b c.gif \n   \n::x\n/a/la::st"),
              QStringList({"/a/page.htm", "/a/b c.gif ", "/a/la::st"}));
    // Names beyond Latin-1 come back as they went.
    const QStringList named = {"/a/p.htm", QString::fromUtf8("/a/caf\xc3\xa9 \xe6\x97\xa5.png")};
    EXPECT_EQ(FileList::Parse(FileList::Compose("/a/p.htm", named)), named);
    QStringList files{"stale"};
    EXPECT_FALSE(FileList::Read("/nonexistent/page.htm.files", files));
    EXPECT_TRUE(files.isEmpty());
}

TEST(ProductPicture, PathIsResolvedAgainstTheGivenFoldersInTurn)
{
    QTemporaryDir dir;
    const QString product = dir.filePath("product"), data = dir.filePath("data"),
                  program = dir.filePath("program");
    for (const QString &folder : {product, data, program})
        QDir().mkpath(folder + "/sites");
    for (const QString &file : {product + "/own.png", data + "/sites/shot.png", data + "/both.png",
                                program + "/both.png", program + "/sites/shipped.png"})
        writeAll(file, kPng);
    QDir().mkpath(data + "/folder.png"); // a folder is no picture
    const std::pair<QString, QString> cases[] = {
        {"", ""},
        {program + "/sites/shipped.png", program + "/sites/shipped.png"},
        {dir.filePath("gone.png"), dir.filePath("gone.png")}, // absolute stays, even missing
        {"own.png", product + "/own.png"},
        {"sites/shot.png", data + "/sites/shot.png"},
        {"sites/shipped.png", program + "/sites/shipped.png"},
        {"both.png", data + "/both.png"}, // the earlier folder wins
        {"folder.png", product + "/folder.png"},
        {"missing.png", product + "/missing.png"}, // missing: below the first folder
    };
    // The working folder is never asked, even when it holds the picture.
    const QString working = QDir::currentPath();
    QDir::setCurrent(program);
    for (const auto &[image, expected] : cases)
        EXPECT_EQ(ResolveProductImage(image, {product, "", data, program}), expected) << qPrintable(image);
    EXPECT_EQ(ResolveProductImage("missing.png", {}), "missing.png");
    EXPECT_EQ(ResolveProductImage("sites/shipped.png", {product}), product + "/sites/shipped.png");
    QDir::setCurrent(working);
}

// A product saved before its lists existed stops loading at the first list, yet keeps
// the answers that come after the lists.
TEST(ProductFileTest, AProductWithoutListsKeepsEveryAnswerItHas)
{
    QTemporaryDir dir;
    writeAll(dir.filePath("old.ini"),
             "[TEXT]\r\ntxtSoftwareName=Tool\r\ntxtPurchaseURL=http://x.test/buy\r\n");
    PageData d;
    ASSERT_TRUE(LoadProduct(dir.filePath("old.ini"), d));
    EXPECT_EQ(d.txtSoftwareName + " " + d.txtPurchaseURL, "Tool http://x.test/buy");
}
