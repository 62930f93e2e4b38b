// The three document views with the real widgets and the real WebEngine (offscreen),
// and the colouring applied to the real source view. The design view's commands run
// through the main window's formatting keys (MainWindowTest).
#include "common/TestSupport.h"
#include "editor/logic/SourceColoring.h"
#include "editor/modMain.h"
#include "platform/widgets/BrowserView.h"
#include "platform/widgets/DesignView.h"
#include "platform/widgets/SourceView.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <gtest/gtest.h>

using testing_support::readAll;
using testing_support::writeAll;

namespace {

QString colourLetters(const platform::SourceView &view)
{
    QString out;
    const int size = int(view.Text().size());
    for (int i = 0; i < size; ++i) {
        const platform::ColorValue c = view.colorAt(i);
        out += c == editor::kColorTag       ? 'B'
               : c == editor::kColorValue   ? 'R'
               : c == editor::kColorComment ? 'G'
                                            : 'k';
    }
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
        "",
        noise, // binary
    };
    platform::SourceView view;
    for (const QByteArray &bytes : files) {
        ASSERT_TRUE(writeAll(dir.filePath("in.htm"), bytes));
        ASSERT_TRUE(view.LoadFile(dir.filePath("in.htm")));
        ASSERT_TRUE(view.SaveFile(dir.filePath("out.htm")));
        EXPECT_EQ(readAll(dir.filePath("out.htm")), bytes) << bytes.left(40).toStdString();
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

    // "<!" becomes a green "<!--"; a "!" with no "<" before it stays.
    resetFlags();
    view.setText(QString());
    QTest::keyClicks(&view, "!x<!");
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
    view.setText("<a href=\"x.htm\" target=_blank>go</a>\r\n<!-- <b> -->x<i");
    view.setSelStart(5);
    editor::modMain::ColorizeSource(view);
    EXPECT_EQ(colourLetters(view), "BBBBBBBBRRRRRRRBBBBBBBBRRRRRRBkkBBBBkGGGGGGGGGGGGkkk");
    EXPECT_EQ(view.SelStart(), 0);
    EXPECT_TRUE(editor::modMain::InValue); // colouring leaves the typing flags alone
    resetFlags();

    // The colours reach the screen and follow edits.
    view.resize(400, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QString page = "<b>one</b>\r\n<i>two</i>";
    view.setText(page);
    editor::modMain::ColorizeSource(view);
    const QString coloured = "BBBkkkBBBBkBBBkkkBBBB";
    EXPECT_EQ(colourLetters(view), coloured);
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
// pastes and the saved file all see the one line.
TEST(ViewsSource, LongLinesAreShownInPiecesAndStayOneLine)
{
    QTemporaryDir dir;
    QByteArray line;
    for (int i = 0; line.size() < 150000; ++i)
        line += "<td class=c" + QByteArray::number(i) + ">cell</td> ";
    ASSERT_TRUE(writeAll(dir.filePath("long.htm"), "<p>a</p>\r\n" + line + "\r\n<p>b</p>"));
    platform::SourceView view;
    view.resize(400, 300);
    view.show();
    ASSERT_TRUE(view.LoadFile(dir.filePath("long.htm")));
    ASSERT_GT(view.document()->blockCount(), 50);
    QString text = QString::fromLatin1("<p>a</p>\n" + line + "\n<p>b</p>");
    ASSERT_EQ(view.Text(), text);

    resetFlags();
    editor::modMain::ColorizeSource(view);
    QString expected(text.size(), 'k');
    for (const platform::ColorRun &run : editor::rangeColorRuns(text))
        expected.replace(run.start, run.length,
                         QString(run.length, run.color == editor::kColorTag ? 'B' : 'R'));
    EXPECT_EQ(colourLetters(view), expected);

    // The text position of the start of block `n`, a piece that goes on a line.
    auto pieceStart = [&view](int n) {
        QTextCursor c(view.document()->findBlockByNumber(n));
        view.setTextCursor(c);
        return view.SelStart();
    };
    // Each piece's first character, read at its text position.
    auto checkPieces = [&] {
        for (int n = 1; n < view.document()->blockCount(); ++n) {
            const int start = pieceStart(n);
            ASSERT_EQ(view.characterAt(start), start < text.size() ? text.at(start) : QChar()) << n;
        }
    };

    // A selection across a piece end: copied, then replaced by two lines (keys at piece
    // ends: RandomEditsAroundPieceEndsKeepTheText).
    const int thirtieth = pieceStart(30);
    view.setSelStart(thirtieth - 5);
    view.setSelLength(10);
    EXPECT_EQ(view.SelText(), text.mid(thirtieth - 5, 10));
    view.copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), text.mid(thirtieth - 5, 10));
    view.setSelText("Z\nW");
    text.replace(thirtieth - 5, 10, "Z\nW");
    ASSERT_EQ(view.Text(), text);

    // A long line pasted is shown in pieces too.
    const QString pasted = QString::fromLatin1(line.left(100000)) + "\r\n<i>x</i>";
    QGuiApplication::clipboard()->setText(pasted);
    view.setSelStart(5);
    const int blocks = view.document()->blockCount();
    view.paste();
    text.insert(5, QString(pasted).replace("\r\n", "\n"));
    EXPECT_GT(view.document()->blockCount(), blocks + 40);
    ASSERT_EQ(view.Text(), text);
    checkPieces();

    ASSERT_TRUE(view.SaveFile(dir.filePath("out.htm")));
    EXPECT_EQ(readAll(dir.filePath("out.htm")), text.toLatin1().replace("\n", "\r\n"));
}

// Random edits over a coloured page with a line long enough to be shown in pieces, half
// of them at a block's first position (often a piece's): the text and the saved file
// match the same edits made to a plain string, and every character that was not typed
// keeps its colour wherever the edits moved it.
TEST(ViewsSource, RandomEditsKeepTheTextAndTheColours)
{
    QTemporaryDir dir;
    QString text = "<p class=\"x\">a <b>b</b></p>\n<!-- c -->\n<td width=1>" +
                   QString("<b>x</b> y ").repeated(8000) + "</td>\n<i>end</i>\n";
    platform::SourceView view;
    view.show();
    view.setText(text);
    resetFlags();
    editor::modMain::ColorizeSource(view);
    QString colours = colourLetters(view);
    QRandomGenerator gen(5);
    for (int step = 0; step < 400; ++step) {
        const QTextDocument *doc = view.document();
        int pos = int(gen.bounded(int(text.size()) + 1));
        if (gen.bounded(2) == 0) {
            view.setTextCursor(QTextCursor(doc->findBlockByNumber(int(gen.bounded(doc->blockCount())))));
            pos = view.SelStart();
        } else {
            view.setSelStart(pos);
        }
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
    ASSERT_GT(view.document()->blockCount(), 50);
    ASSERT_TRUE(view.SaveFile(dir.filePath("out.htm")));
    EXPECT_EQ(readAll(dir.filePath("out.htm")), text.toLatin1());
}

// One design view for all its cases: starting WebEngine is the slow part.
class ViewsDesign : public ::testing::Test {
protected:
    static platform::DesignView *view;
    static void SetUpTestSuite()
    {
        view = new platform::DesignView;
        view->resize(800, 600);
        view->show();
    }
    static void TearDownTestSuite() { delete view; }

    void load(const QString &body)
    {
        ASSERT_TRUE(view->setDocumentHTML("<html><body><p id=\"p\">" + body + "</p></body></html>"));
    }
    // Selects characters [from, to) of the paragraph's first text node.
    void select(int from, int to)
    {
        bool ok = false;
        view->runScript(QStringLiteral("(function(){ var t = document.getElementById('p').firstChild;"
                                       " var r = document.createRange(); r.setStart(t, %1); r.setEnd(t, %2);"
                                       " var s = getSelection(); s.removeAllRanges(); s.addRange(r); })()")
                            .arg(from)
                            .arg(to),
                        &ok);
        ASSERT_TRUE(ok);
    }
    QString body() { return view->runScript("document.body.innerHTML").toString(); }
};
platform::DesignView *ViewsDesign::view = nullptr;

TEST_F(ViewsDesign, LoadSaveBackgroundPasteAndDirtyTracking)
{
    QTemporaryDir dir;
    const auto roundTrip = [&](const QByteArray &page) {
        EXPECT_TRUE(writeAll(dir.filePath("page.htm"), page));
        EXPECT_TRUE(view->LoadDocument(dir.filePath("page.htm")));
        EXPECT_FALSE(view->isDirty());
        EXPECT_TRUE(view->SaveDocument(dir.filePath("saved.htm")));
        return readAll(dir.filePath("saved.htm"));
    };
    const QByteArray saved =
        roundTrip("<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>Tool</title></head>\r\n"
                  "<body><h1>Caf\xC3\xA9 Tool</h1><table><tr><td>Fast</td><td>Small</td></tr></table>"
                  "<img src=\"tool.png\"></body></html>\r\n");
    for (const char *part : {"<title>Tool</title>", "<h1>Caf\xC3\xA9 Tool</h1>",
                             "<td>Fast</td><td>Small</td>", "<img src=\"tool.png\">"})
        EXPECT_TRUE(saved.contains(part)) << part << "\n" << saved.toStdString();
    EXPECT_FALSE(saved.contains("contenteditable"));
    // A page in a one-byte character set, declared or not, is written back in it.
    EXPECT_TRUE(roundTrip("<html><head><meta charset=\"windows-1252\"></head><body>Caf\xE9</body></html>")
                    .contains("Caf\xE9</body>"));
    EXPECT_TRUE(roundTrip("<html><body>Caf\xE9 \xA9</body></html>").contains("Caf\xE9 \xA9</body>"));

    EXPECT_TRUE(view->setBgColor("FF0000"));
    EXPECT_EQ(view->runScript("getComputedStyle(document.body).backgroundColor").toString(),
              "rgb(255, 0, 0)");
    EXPECT_TRUE(view->isDirty());

    load("one two");
    select(3, 3);
    EXPECT_TRUE(view->pasteHTML("<table><tbody><tr><td>T</td></tr></tbody></table>"));
    // A table cannot stand in a paragraph: it splits the paragraph at the caret.
    const QString html = body();
    EXPECT_TRUE(html.indexOf("one") < html.indexOf("<table><tbody><tr><td>T</td></tr></tbody></table>") &&
                html.indexOf("</table>") < html.indexOf("two"))
        << html.toStdString();

    EXPECT_FALSE(view->SaveDocument(dir.filePath("no/such/folder/x.htm")));
    EXPECT_FALSE(view->SaveDocument(dir.path()));
    EXPECT_FALSE(view->LoadDocument(dir.filePath("missing.htm")));

    // An operation started while another one waits is refused, not nested.
    QString nested = "unset";
    bool waiting = false;
    QTimer::singleShot(0, [&] {
        waiting = view->isWaiting();
        nested = view->DocumentHTML();
    });
    load("one");
    EXPECT_TRUE(waiting);
    EXPECT_TRUE(nested.isEmpty());
    EXPECT_FALSE(view->isDirty());
    // Typing leaves no flag of its own; the document is compared.
    select(3, 3);
    view->runScript("document.execCommand('insertText', false, 'Z')");
    EXPECT_TRUE(view->isDirty());
    view->setDirty(false);
    EXPECT_FALSE(view->isDirty());
}

TEST(ViewsDesignHidden, LoadsBeforeItIsShown)
{
    // The main window fills its design view before it is first shown; this page is
    // past the size WebEngine accepts inline.
    platform::DesignView hidden;
    const QString big =
        "<html><body>" + QString("<p>filler text</p>").repeated(60000) + "<p>end</p></body></html>";
    ASSERT_TRUE(hidden.setDocumentHTML(big));
    EXPECT_TRUE(hidden.DocumentHTML().endsWith("<p>end</p></body></html>"));
    EXPECT_EQ(hidden.runScript("document.designMode").toString(), "on");
}

TEST(ViewsBrowser, ALocalPageCannotReadFilesOrSendRequests)
{
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));
    int connections = 0;
    QObject::connect(&listener, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *socket = listener.nextPendingConnection()) {
            ++connections;
            socket->close();
        }
    });
    QTemporaryDir dir;
    ASSERT_TRUE(writeAll(dir.filePath("secret.txt"), "TOPSECRET"));
    const QString net = QString("127.0.0.1:%1").arg(listener.serverPort());
    const QString page =
        "<html><head><title>start</title><script>\n"
        "var out = [];\n"
        "try { var x = new XMLHttpRequest(); x.open('GET', 'secret.txt', false); x.send();"
        " out.push('xhr:' + x.responseText); } catch (e) { out.push('xhr-refused'); }\n"
        "try { navigator.sendBeacon('http://NET/beacon', 'x'); } catch (e) {}\n"
        "try { new WebSocket('ws://NET/socket'); } catch (e) {}\n"
        "fetch('http://NET/fetch', {mode: 'no-cors'}).catch(function () {});\n"
        "var frame = document.createElement('iframe'); frame.src = 'secret.txt';\n"
        "frame.onload = function () { try { out.push('frame:' + frame.contentDocument.body.textContent); }"
        " catch (e) { out.push('frame-refused'); }\n"
        " fetch('secret.txt').then(function (r) { return r.text(); })"
        ".then(function (t) { out.push('fetch:' + t); }, function () { out.push('fetch-refused'); })"
        ".then(function () { document.title = out.join(' '); }); };\n"
        "document.documentElement.appendChild(frame);\n"
        "</script></head><body>x</body></html>";
    ASSERT_TRUE(writeAll(dir.filePath("page.htm"), QString(page).replace("NET", net).toUtf8()));

    platform::BrowserView view;
    view.show();
    view.Navigate("file://" + dir.filePath("page.htm"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.title().contains("fetch"); }, 15000))
        << qPrintable(view.title());
    EXPECT_EQ(view.title(), "xhr-refused frame-refused fetch-refused");
    QTest::qWait(300); // a request on its way would have connected by now
    EXPECT_EQ(connections, 0);
}

// Files by path or address and inline pages; a local page still gets its style sheet
// and pictures.
TEST(ViewsBrowser, NavigatesFilesAndInlineHtml)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("my page #1.htm");
    ASSERT_TRUE(writeAll(dir.filePath("look.css"), "body { color: rgb(1, 2, 3); }"));
    QFile::copy(testing_support::sourceDir() + "/src/editor/icons/quillmark.svg", dir.filePath("pic.svg"));
    ASSERT_TRUE(writeAll(path, "<html><head><title>File page</title><link rel=stylesheet href=look.css>"
                               "</head><body><img id=i src=pic.svg>x</body></html>"));
    platform::BrowserView view;
    view.show();
    const std::pair<QString, QString> cases[] = {
        {"about:<html><head><title>Inline</title></head><body>y</body></html>", "Inline"},
        {path, "File page"},
        {"file://" + path, "File page"},
    };
    for (const auto &[address, title] : cases) {
        QSignalSpy done(&view, &QWebEngineView::loadFinished);
        view.Navigate(address);
        ASSERT_TRUE(done.wait(15000));
        EXPECT_TRUE(done.first().first().toBool());
        EXPECT_EQ(view.title(), title) << address.toStdString();
    }
    QString answer;
    view.page()->runJavaScript(
        "getComputedStyle(document.body).color + ' ' + document.getElementById('i').naturalWidth",
        [&](const QVariant &v) { answer = v.toString(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answer.isEmpty(); }));
    EXPECT_TRUE(answer.startsWith("rgb(1, 2, 3) ") && answer != "rgb(1, 2, 3) 0") << answer.toStdString();
    view.Navigate("about:blank");
    view.Stop();
}
