// The source view with the colouring that the editor applies to it, on the real widget:
// bytes and line ends, typing through the key hook, long lines in pieces, random edits.
#include "platform/widgets/SourceView.h"
#include "ColorLetters.h"
#include "common/TestSupport.h"
#include "editor/logic/SourceColoring.h"
#include "editor/modMain.h"
#include "editor/source/HtmlText.h"

#include <QTest>
#include <QtWidgets>
#include <gtest/gtest.h>

using testing_support::readAll;
using testing_support::writeAll;

namespace {

QString colourLetters(const platform::SourceView &view)
{
    QString out;
    const int size = int(view.Text().size());
    for (int i = 0; i < size; ++i)
        out += editor_testing::colorLetter(view.colorAt(i), 'k');
    return out;
}

void resetFlags()
{
    using namespace editor::modMain;
    InTag = InValue = InQuotes = InComment = false;
}

} // namespace

TEST(ViewsSource, LoadAndSaveKeepTheBytesAndLineEnds)
{
    QTemporaryDir dir;
    QByteArray noise(70000, '\0');
    QRandomGenerator gen(7);
    for (char &b : noise)
        b = char(gen.bounded(256));
    const QList<QByteArray> files = {
        "<p>caf\xE9</p>\r\n<b>x</b>\r\n",           // not valid in the locale's UTF-8
        "\xEF\xBB\xBF<p>\xC3\xA9t\xC3\xA9</p>\r\n", // UTF-8 with a byte order mark
        "a\r\nb\nc\rd\r\n\r\ne",                    // mixed line ends, no final one
        "x\xE2\x80\xA9y\xEF\xB7\x90z\r",            // what a text document also takes as line ends
        "",
        noise, // binary
    };
    platform::SourceView view;
    for (const QByteArray &bytes : files) {
        ASSERT_TRUE(writeAll(dir.filePath("in.htm"), bytes));
        ASSERT_TRUE(view.LoadFile(dir.filePath("in.htm")));
        ASSERT_TRUE(view.SaveFile(dir.filePath("out.htm")));
        EXPECT_EQ(readAll(dir.filePath("out.htm")), bytes) << bytes.left(40).toStdString();
        // A page held back from the view reads and saves as the view would.
        const textmodel::DecodedText decoded = textmodel::DecodeSourceBytes(bytes);
        EXPECT_EQ(textmodel::PlainLineEnds(decoded.text), view.Text());
        EXPECT_EQ(textmodel::EncodeHtmlText(decoded.text, decoded.oneBytePerCharacter), bytes);
    }
    EXPECT_FALSE(view.LoadFile(dir.filePath("missing.htm")));
    EXPECT_FALSE(view.SaveFile(dir.filePath("no/such/folder/out.htm")));
    EXPECT_FALSE(view.SaveFile(dir.path()));

    // The selection counts one character per line end.
    view.setText("ab\r\ncd");
    EXPECT_EQ(view.Text(), "ab\ncd");
    view.setSelStart(3);
    view.setSelLength(2);
    EXPECT_EQ(view.SelText(), "cd");
    view.setSelColor(editor::kColorValue);
    EXPECT_EQ(colourLetters(view), "kkkRR");
    EXPECT_EQ(view.SelColor(), editor::kColorValue);
    view.setSelText("XYZ");
    EXPECT_EQ(view.SelStart(), 6);
    EXPECT_EQ(view.SelLength(), 0);
    ASSERT_TRUE(view.SaveFile(dir.filePath("t.htm")));
    EXPECT_EQ(readAll(dir.filePath("t.htm")), "ab\r\nXYZ");

    // A line split in two: its own line end stays at its end; the new one takes the
    // text's usual form.
    view.setText("ab\rc\r\nd\r\n");
    view.setSelStart(1);
    QTest::keyClick(&view, Qt::Key_Return);
    ASSERT_TRUE(view.SaveFile(dir.filePath("t.htm")));
    EXPECT_EQ(readAll(dir.filePath("t.htm")), "a\r\nb\rc\r\nd\r\n");

    // A page put over a scrolled one is shown from its start.
    view.setText(QString("<p>x</p>\n").repeated(300));
    view.setSelStart(2000);
    view.setText(QString("<b>\n").repeated(300));
    EXPECT_EQ(view.verticalScrollBar()->value(), 0);
}

TEST(ViewsSource, TypingColoursThroughTheHook)
{
    using namespace editor::modMain;
    platform::SourceView view;
    InstallColorizeHook(view);
    view.show();
    resetFlags();
    QTest::keyClicks(&view, "<p class=\"a b\">t ");
    EXPECT_FALSE(InTag || InValue || InQuotes || InComment);

    QTest::keyClicks(&view, "<a href=x>");
    EXPECT_TRUE(InValue && !InTag);
    // With the value flag left set, "t" keeps the blue of ">" and the next tag is red
    // from its second character to its first space.
    QTest::keyClicks(&view, "t<br x>");
    EXPECT_EQ(view.Text(), "<p class=\"a b\">t <a href=x>t<br x>");
    EXPECT_EQ(colourLetters(view), "BBBBBBBBBRRRRRBkkBBBBBBBBRBBBRRBBB");

    // "<!" becomes a green "<!--"; a "!" with no "<" before it stays. The comment
    // ends a value left open by an unquoted one, so the text after it is black.
    resetFlags();
    view.setText(QString());
    QTest::keyClicks(&view, "!x");
    InValue = true;
    QTest::keyClicks(&view, "<!");
    EXPECT_TRUE(InComment);
    QTest::keyClicks(&view, " note -->y");
    EXPECT_FALSE(InComment);
    EXPECT_EQ(view.Text(), "!x<!-- note -->y");
    EXPECT_EQ(colourLetters(view), "kk" + QString(13, 'G') + "k");

    // Dashes typed right after the completion are the completion's own; a letter
    // takes it back, for a declaration is a tag.
    resetFlags();
    view.setText(QString());
    QTest::keyClicks(&view, "<!-- a -->");
    EXPECT_EQ(view.Text(), "<!-- a -->");
    QTest::keyClicks(&view, "<!DOCTYPE html>");
    EXPECT_EQ(view.Text(), "<!-- a --><!DOCTYPE html>");
    EXPECT_EQ(colourLetters(view), QString(10, 'G') + QString(15, 'B'));
    EXPECT_FALSE(InComment || InTag);
    // Only right after it: a dash typed elsewhere is the user's.
    view.setText(QString());
    QTest::keyClicks(&view, "<!");
    view.setSelStart(0);
    QTest::keyClicks(&view, "-");
    EXPECT_EQ(view.Text(), "-<!--");

    // A third dash after the completion's two is the user's; a letter after one of
    // them keeps the comment.
    resetFlags();
    view.setText(QString());
    QTest::keyClicks(&view, "<!---");
    EXPECT_EQ(view.Text(), "<!---");
    view.setText(QString());
    QTest::keyClicks(&view, "<!-D");
    EXPECT_EQ(view.Text(), "<!--D");

    // Equals signs and quotes in the text open no value: the next tag is blue.
    resetFlags();
    view.setText(QString());
    QTest::keyClicks(&view, "1+1=\"2 <b c>");
    EXPECT_FALSE(InTag || InValue || InQuotes || InComment);
    EXPECT_EQ(colourLetters(view), "kkkkkkkBBBBB");
}

// The letters of one block's painted colours, from its layout formats.
QString paintedLetters(const QTextBlock &block)
{
    QString out(block.length() - 1, 'k');
    for (const QTextLayout::FormatRange &range : block.layout()->formats())
        for (int i = range.start; i < range.start + range.length; ++i)
            out[i] = range.format.foreground().color() == QColor(Qt::blue) ? 'B' : '?';
    return out;
}

TEST(ViewsSource, ColorizeSourceColoursTheViewAndColoursFollowEdits)
{
    resetFlags();
    editor::modMain::InValue = true;
    platform::SourceView view;
    view.resize(400, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.setText("<b>one</b>\r\n<i>two</i>");
    view.setSelStart(5);
    editor::modMain::ColorizeSource(view);
    EXPECT_EQ(colourLetters(view), "BBBkkkBBBBkBBBkkkBBBB");
    EXPECT_EQ(view.SelStart(), 0);
    EXPECT_TRUE(editor::modMain::InValue); // colouring leaves the typing flags alone
    resetFlags();

    // The colours reach the screen and follow edits.
    view.viewport()->repaint();
    EXPECT_EQ(paintedLetters(view.document()->firstBlock()).toStdString(), "BBBkkkBBBB");
    EXPECT_EQ(paintedLetters(view.document()->lastBlock()).toStdString(), "BBBkkkBBBB");

    // Inserted text takes the colour before it; a replaced selection the colour of its
    // last character; the text after an edit keeps its colours.
    QTextCursor c = view.textCursor();
    c.setPosition(2);
    c.insertText("xy");
    EXPECT_EQ(colourLetters(view), "BBBBBkkkBBBBkBBBkkkBBBB");
    c.setPosition(4);
    c.setPosition(8, QTextCursor::KeepAnchor);
    c.insertText("Z");
    EXPECT_EQ(view.Text(), "<bxyZ</b>\n<i>two</i>");
    EXPECT_EQ(colourLetters(view), "BBBBkBBBBkBBBkkkBBBB");
    view.document()->undo();
    view.document()->undo();
    EXPECT_EQ(view.Text(), "<b>one</b>\n<i>two</i>");
    EXPECT_TRUE(colourLetters(view).endsWith("kBBBkkkBBBB"));
}

// A line too long to lay out at once is shown in pieces, but positions, colours, copies,
// pastes, random edits and the saved file all see the one line.
TEST(ViewsSource, LongLinesAreShownInPiecesAndStayOneLine)
{
    QTemporaryDir dir;
    QByteArray line;
    for (int i = 0; line.size() < 150000; ++i)
        line += "<td class=c" + QByteArray::number(i) + ">cell</td> ";
    ASSERT_TRUE(writeAll(dir.filePath("long.htm"), "<p>a</p>\r\n" + line + "\r\n<!-- c -->"));
    platform::SourceView view;
    view.resize(400, 300);
    view.show();
    ASSERT_TRUE(view.LoadFile(dir.filePath("long.htm")));
    ASSERT_GT(view.document()->blockCount(), 50);
    QString text = QString::fromLatin1("<p>a</p>\n" + line + "\n<!-- c -->");
    ASSERT_EQ(view.Text(), text);

    resetFlags();
    editor::modMain::ColorizeSource(view);
    QString colours = colourLetters(view);
    EXPECT_EQ(colours, editor_testing::runLetters(editor::rangeColorRuns(text), text.size(), 'k'));

    // The text position of the start of block `n`, a piece that goes on a line.
    auto pieceStart = [&view](int n) {
        view.setTextCursor(QTextCursor(view.document()->findBlockByNumber(n)));
        return view.SelStart();
    };
    // Delete at the end of a piece takes the line's next character.
    QTextCursor end(view.document()->findBlockByNumber(20));
    end.movePosition(QTextCursor::EndOfBlock);
    view.setTextCursor(end);
    const int twentyFirst = view.SelStart();
    ASSERT_EQ(twentyFirst, pieceStart(21));
    view.setTextCursor(end);
    QTest::keyClick(&view, Qt::Key_Delete);
    text.remove(twentyFirst, 1), colours.remove(twentyFirst, 1);
    ASSERT_EQ(view.Text(), text);

    // A selection across a piece end: copied, then replaced by two lines; no undo
    // brings the piece end back as a line end. A copy across a line end has it.
    const int thirtieth = pieceStart(30);
    view.setSelStart(thirtieth - 5);
    view.setSelLength(10);
    EXPECT_EQ(view.SelText(), text.mid(thirtieth - 5, 10));
    view.copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), text.mid(thirtieth - 5, 10));
    view.setSelText("Z\nW");
    text.replace(thirtieth - 5, 10, "Z\nW");
    colours.replace(thirtieth - 5, 10, "???");
    ASSERT_EQ(view.Text(), text);
    view.undo();
    ASSERT_EQ(view.Text(), text);
    view.setSelStart(5);
    view.setSelLength(6);
    EXPECT_EQ(view.SelText(), "/p>\n<t");

    // A long line pasted is shown in pieces too; each piece's first character is read
    // at its text position.
    const QString pasted = QString::fromLatin1(line.left(100000)) + "\r\n<i>x</i>";
    QGuiApplication::clipboard()->setText(pasted);
    view.setSelStart(5);
    const int blocks = view.document()->blockCount();
    view.paste();
    text.insert(5, QString(pasted).replace("\r\n", "\n"));
    colours.insert(5, QString(pasted.size() - 1, '?'));
    EXPECT_GT(view.document()->blockCount(), blocks + 40);
    ASSERT_EQ(view.Text(), text);
    for (int n = 1; n < view.document()->blockCount(); ++n) {
        const int start = pieceStart(n);
        ASSERT_EQ(view.characterAt(start), start < text.size() ? text.at(start) : QChar()) << n;
    }

    // Pasted into a page of short lines only, a long line is shown in pieces as well.
    platform::SourceView shortLines;
    shortLines.resize(400, 300);
    shortLines.show();
    shortLines.setText("<p>a</p>");
    shortLines.setSelStart(3);
    QGuiApplication::clipboard()->setText(QString::fromLatin1(line.left(100000)));
    shortLines.paste();
    EXPECT_GT(shortLines.document()->blockCount(), 10);
    EXPECT_EQ(shortLines.Text(), "<p>" + QString::fromLatin1(line.left(100000)) + "a</p>");

    // Random edits, half of them at a block's first position (often a piece's): the text
    // matches the same edits made to a plain string, and every character that was not
    // typed keeps its colour wherever the edits moved it.
    QRandomGenerator gen(5);
    for (int step = 0; step < 400; ++step) {
        const QTextDocument *doc = view.document();
        int pos = int(gen.bounded(int(text.size()) + 1));
        if (gen.bounded(2) == 0)
            pos = pieceStart(int(gen.bounded(doc->blockCount())));
        else
            view.setSelStart(pos);
        const int length = qMin(int(gen.bounded(40)), int(text.size()) - pos);
        switch (gen.bounded(4)) {
        case 0:
            QTest::keyClick(&view, Qt::Key_Backspace);
            if (pos > 0)
                text.remove(pos - 1, 1), colours.remove(pos - 1, 1);
            break;
        case 1:
            QTest::keyClick(&view, Qt::Key_Delete);
            text.remove(pos, 1), colours.remove(pos, 1);
            break;
        case 2:
            view.setSelLength(length);
            view.setSelColor(editor::kColorComment);
            colours.replace(pos, length, QString(length, 'G'));
            break;
        default: {
            const QString added = QString("ab\n<>").left(int(gen.bounded(6)));
            view.setSelLength(length);
            view.setSelText(added);
            text.replace(pos, length, added);
            colours.replace(pos, length, QString(added.size(), '?'));
        }
        }
        ASSERT_EQ(view.Text(), text) << "step " << step;
        if (step % 10 != 9)
            continue;
        const QString actual = colourLetters(view);
        for (int i = 0; i < actual.size(); ++i) {
            if (colours[i] != '?') {
                ASSERT_EQ(actual[i], colours[i]) << "step " << step << " at " << i;
            }
        }
    }
    ASSERT_TRUE(view.SaveFile(dir.filePath("out.htm")));
    EXPECT_EQ(readAll(dir.filePath("out.htm")), text.toLatin1().replace("\n", "\r\n"));
}

TEST(ViewsSource, ReplacingManyPlacesKeepsEachLinesEndAndUndoesInOneStep)
{
    platform::SourceView view;
    const QString mixed = QStringLiteral("a x\r\nb x\nc x\rd\r\ne x\r\n");
    view.setText(mixed);
    const QByteArray before = view.fileBytes();
    view.replacePlaces({{2, 1, "yy"}, {6, 1, "z"}, {16, 1, "v"}});
    EXPECT_EQ(view.fileBytes(), "a yy\r\nb z\nc x\rd\r\ne v\r\n");
    view.undo();
    EXPECT_EQ(view.fileBytes(), before);
    // Across a line end ("x\rd" becomes one line) and bringing one: the line ends
    // that close the changed lines stay theirs, also after undo and redo.
    for (const bool brings : {true, false}) {
        view.replacePlaces({{6, 1, brings ? "z\nz" : "z"}, {10, 3, "w"}});
        const QByteArray replaced = brings ? "a x\r\nb z\r\nz\nc w\r\ne x\r\n" : "a x\r\nb z\nc w\r\ne x\r\n";
        EXPECT_EQ(view.fileBytes(), replaced);
        view.undo();
        EXPECT_EQ(view.fileBytes(), before);
        view.redo();
        EXPECT_EQ(view.fileBytes(), replaced);
        view.undo();
    }

    // Colours: the text between the places keeps its own, a replacement takes the
    // colour of what it replaced (or, changing a tag's shape, is coloured again), and
    // undo and redo bring back the colours of their text.
    view.setText("<b>b</b> b <a href=b>b</a> b");
    editor::modMain::ColorizeSource(view);
    const QString colours = colourLetters(view);
    EXPECT_EQ(colours, "BBBkBBBBkkkBBBBBBBBRBkBBBBkk");
    const QString text = view.Text();
    editor::modMain::ReplacePlaces(view, text,
                                   {{1, 1, "i"}, {3, 1, "ii"}, {6, 1, "i"}, {19, 1, "ii"}, {21, 1, "ii"}});
    const QString replaced = "BBBkkBBBBkkkBBBBBBBBRRBkkBBBBkk";
    EXPECT_EQ(colourLetters(view), replaced);
    editor::modMain::ReplacePlaces(view, view.Text(), {{15, 7, "href=\"x y\""}});
    EXPECT_EQ(colourLetters(view), "BBBkkBBBBkkkBBBBBBBBRRRRRBkkBBBBkk");
    view.undo();
    view.undo();
    EXPECT_EQ(view.Text(), text);
    EXPECT_EQ(colourLetters(view), colours);
    view.redo();
    EXPECT_EQ(colourLetters(view), replaced);
}
