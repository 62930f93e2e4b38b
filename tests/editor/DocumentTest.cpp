// The document behind the editor's views, with in-memory views: which view is refilled
// and which one writes, what a failed write leaves, and reload. The main window's test
// covers the rest with the real views.
#include "editor/logic/Document.h"
#include "common/TestSupport.h"

#include <QtCore>
#include <gtest/gtest.h>

using editor::Document;
using testing_support::readAll;
using testing_support::writeAll;

namespace {

// A view that holds its page as text; its file bytes name the view, so a test sees
// which view wrote.
struct TextView : editor::PageView {
    explicit TextView(const char *name) : name(name) {}
    QString pageText() override { return text; }
    bool showPage(const QString &t) override
    {
        text = shown = t;
        ++fills; // a refill empties the view's own undo
        return true;
    }
    bool edited() override { return text != shown; }
    QByteArray fileBytes() override { return name + text.toLocal8Bit(); }
    void resetEdits() override { shown = text; }
    QString baselineText() override { return baseline; }
    QByteArray name;
    QString text, shown, baseline;
    int fills = 0;
};

class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        page = dir.filePath("page.htm");
        ASSERT_TRUE(writeAll(page, "<p>on disk</p>"));
        design.text = design.shown = source.text = source.shown = "<p>on disk</p>";
        doc.opened(page, "<p>on disk</p>");
    }
    // Any write shows: the bytes would name the view.
    void expectFileUntouched() { EXPECT_EQ(readAll(page), QByteArray("<p>on disk</p>")); }
    QTemporaryDir dir;
    QString page;
    TextView design{"D:"}, source{"S:"};
    Document doc{design, source};
};

} // namespace

TEST_F(DocumentTest, TabSwitchesMoveEditsInMemoryAndNeverWriteTheFile)
{
    design.text = "<p>designed</p>";
    EXPECT_TRUE(doc.switchTo(Document::Source));
    EXPECT_EQ(source.text, "<p>designed</p>");

    // A round trip that changes nothing refills neither view (their undo survives).
    const int sourceFills = source.fills, designFills = design.fills;
    doc.switchTo(Document::Design);
    doc.switchTo(Document::Source);
    EXPECT_EQ(source.fills, sourceFills);
    EXPECT_EQ(design.fills, designFills);

    // Source edits reach the design view whichever tab comes next; the preview moves nothing.
    source.text = "<p>typed</p>";
    EXPECT_TRUE(doc.switchTo(Document::Preview));
    EXPECT_EQ(design.text, "<p>typed</p>");
    EXPECT_FALSE(doc.switchTo(Document::Source));
    EXPECT_EQ(source.fills, sourceFills);
    EXPECT_EQ(doc.tab(), Document::Source);
    expectFileUntouched();
}

TEST_F(DocumentTest, SaveWritesThePageOnceAndOnlyWhereAsked)
{
    // Nothing changed: the file already holds the page.
    EXPECT_TRUE(doc.save());
    expectFileUntouched();

    // Design edits saved from the design view: the source view is given them and writes.
    design.text = "<p>bold</p>";
    EXPECT_TRUE(doc.save());
    EXPECT_EQ(readAll(page), QByteArray("S:<p>bold</p>"));
    EXPECT_FALSE(doc.modified());

    // Once the source view shows the page it writes, also from the preview tab.
    doc.switchTo(Document::Source);
    source.text = "<p>typed</p>";
    doc.switchTo(Document::Preview);
    EXPECT_TRUE(doc.modified());
    EXPECT_TRUE(doc.save());
    EXPECT_EQ(readAll(page), QByteArray("S:<p>typed</p>"));
    EXPECT_FALSE(doc.modified());

    // A file deleted meanwhile is written again, changed or not.
    QFile::remove(page);
    EXPECT_TRUE(doc.save());
    EXPECT_EQ(readAll(page), QByteArray("S:<p>typed</p>"));
    // So is an unchanged page saved to another file that exists.
    const QString other = dir.filePath("other.htm");
    ASSERT_TRUE(writeAll(other, "old"));
    doc.setPath(other);
    EXPECT_TRUE(doc.save());
    EXPECT_EQ(readAll(other), QByteArray("S:<p>typed</p>"));

    // A failed write keeps the work unsaved.
    doc.switchTo(Document::Source);
    source.text = "<p>lost?</p>";
    doc.setPath(dir.filePath("no/such/folder/page.htm"));
    EXPECT_FALSE(doc.save());
    EXPECT_TRUE(doc.modified());
}

TEST_F(DocumentTest, ReloadReadsTheFileIntoBothViews)
{
    design.text = "<p>taken by the switch</p>";
    doc.switchTo(Document::Source);
    source.text = "<p>unsaved</p>";
    ASSERT_TRUE(writeAll(page, "<p>changed outside</p>"));
    EXPECT_TRUE(doc.reload());
    EXPECT_EQ(design.text, "<p>changed outside</p>");
    EXPECT_EQ(source.text, "<p>changed outside</p>");
    EXPECT_FALSE(doc.modified());
    EXPECT_EQ(doc.tab(), Document::Source);

    QFile::remove(page);
    source.text = "<p>kept</p>";
    EXPECT_FALSE(doc.reload());
    EXPECT_EQ(source.text, "<p>kept</p>");
    EXPECT_TRUE(doc.modified());
}

TEST_F(DocumentTest, DesignEditsKeepThePagesOwnMarkup)
{
    design.baseline = "<html><head></head><body><p>a</p><p>b</p></body></html>";
    doc.opened(page, "<P>a</P><P>b</P>");
    design.text = "<html><head></head><body><p>a</p><p>b<b>!</b></p></body></html>";
    EXPECT_TRUE(doc.save());
    EXPECT_EQ(readAll(page), QByteArray("S:<P>a</P><P>b<b>!</b></P>"));
    // The next edit is measured against the form the view handed over last.
    design.baseline = design.text;
    design.text = "<html><head></head><body><p>a</p><p>b<b>!</b><i>?</i></p></body></html>";
    EXPECT_TRUE(doc.save());
    EXPECT_EQ(readAll(page), QByteArray("S:<P>a</P><P>b<b>!</b><i>?</i></P>"));
}

// A page opened in the source tab: what is typed there is what Save writes.
TEST_F(DocumentTest, APageOpenedInTheSourceTabSavesItsEdits)
{
    doc.opened(page, "<p>on disk</p>", Document::Source);
    EXPECT_EQ(doc.tab(), Document::Source);
    source.text = "<p>typed</p>";
    EXPECT_TRUE(doc.modified());
    EXPECT_TRUE(doc.save());
    EXPECT_EQ(readAll(page), QByteArray("S:<p>typed</p>"));
}
