// The design and browser views with the real widgets and the real WebEngine
// (offscreen), and the message boxes. The design view's commands run through the main
// window's formatting keys (MainWindowTest); the source view is tested with its
// colouring (tests/editor).
#include "common/TestSupport.h"
#include "platform/AppFolder.h"
#include "platform/widgets/BrowserView.h"
#include "platform/widgets/DesignView.h"
#include "platform/widgets/QtDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <gtest/gtest.h>

#include <memory>

using testing_support::readAll;
using testing_support::writeAll;

TEST(ViewsDesign, LoadSaveBackgroundPasteAndDirtyTracking)
{
    platform::DesignView view;
    view.resize(800, 600);
    // Shown before its page is made (as the main window shows it): showing must not
    // put a page of WebEngine's own, with the page's scripts on, in the editing page's
    // place, and the spelling language waits for the page.
    view.setSpellingLanguage("en-US");
    view.show();
    EXPECT_EQ(view.findChild<QWebEnginePage *>(), nullptr);
    const auto load = [&](const QString &body) {
        ASSERT_TRUE(view.setDocumentHTML("<html><body><p id=\"p\">" + body + "</p></body></html>"));
    };
    // Puts the caret after the paragraph's third character.
    const auto caretAfterThree = [&] {
        bool ok = false;
        view.runScript("(function(){ var r = document.createRange(); r.setStart(document.getElementById('p')"
                       ".firstChild, 3); getSelection().removeAllRanges(); getSelection().addRange(r); })()",
                       &ok);
        ASSERT_TRUE(ok);
    };
    load("first");
    EXPECT_EQ(static_cast<QWebEngineView &>(view).page(), view.page());
    EXPECT_FALSE(view.page()->settings()->testAttribute(QWebEngineSettings::JavascriptEnabled));
    EXPECT_EQ(view.page()->profile()->spellCheckLanguages(), QStringList{"en-US"});
    QTemporaryDir dir;
    const auto roundTrip = [&](const QByteArray &page) {
        EXPECT_TRUE(writeAll(dir.filePath("page.htm"), page));
        EXPECT_TRUE(view.LoadDocument(dir.filePath("page.htm")));
        EXPECT_FALSE(view.isDirty());
        EXPECT_TRUE(view.SaveDocument(dir.filePath("saved.htm")));
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
    // Also past the first 64 kB, and not where a UTF-8 character straddles 64 kB.
    const QByteArray filler = "<html><body><!--" + QByteArray(65536 - 20, 'x') + "-->";
    EXPECT_TRUE(roundTrip(filler + "Caf\xE9</body></html>").contains("Caf\xE9</body>"));
    EXPECT_TRUE(roundTrip(filler + "\xC3\xA9</body></html>").contains("\xC3\xA9</body>"));

    EXPECT_TRUE(view.setBgColor("FF0000"));
    EXPECT_EQ(view.runScript("getComputedStyle(document.body).backgroundColor").toString(), "rgb(255, 0, 0)");
    EXPECT_TRUE(view.isDirty());

    load("one two");
    caretAfterThree();
    EXPECT_TRUE(view.pasteHTML("<table><tbody><tr><td>T</td></tr></tbody></table>"));
    // A table cannot stand in a paragraph: it splits the paragraph at the caret.
    const QString html = view.runScript("document.body.innerHTML").toString();
    EXPECT_TRUE(html.indexOf("one") < html.indexOf("<table><tbody><tr><td>T</td></tr></tbody></table>") &&
                html.indexOf("</table>") < html.indexOf("two"))
        << html.toStdString();

    EXPECT_FALSE(view.SaveDocument(dir.filePath("no/such/folder/x.htm")));
    EXPECT_FALSE(view.SaveDocument(dir.path()));
    EXPECT_FALSE(view.LoadDocument(dir.filePath("missing.htm")));

    // An operation started while another one waits is refused, not nested.
    QString nested = "unset";
    bool waiting = false;
    QTimer::singleShot(0, [&] {
        waiting = view.isWaiting();
        nested = view.DocumentHTML();
    });
    load("one");
    EXPECT_TRUE(waiting);
    EXPECT_TRUE(nested.isEmpty());
    EXPECT_FALSE(view.isDirty());
    // Typing leaves no flag of its own; the document is compared.
    caretAfterThree();
    view.runScript("document.execCommand('insertText', false, 'Z')");
    EXPECT_TRUE(view.isDirty());
    view.setDirty(false);
    EXPECT_FALSE(view.isDirty());
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

    // A load started ahead (the page named at start-up) is the one LoadDocument of its
    // file waits for, also once it has ended (a wait for a load that never comes would
    // hang); a LoadDocument of another file drops it.
    QTemporaryDir dir;
    const QString ahead = dir.filePath("ahead.htm"), other = dir.filePath("other.htm");
    ASSERT_TRUE(writeAll(ahead, "<html><body><p>ahead</p></body></html>") &&
                writeAll(other, "<html><body><p>other</p></body></html>"));
    QSignalSpy loads(hidden.page(), &QWebEnginePage::loadFinished);
    EXPECT_FALSE(hidden.startLoadDocument(dir.filePath("missing.htm")));
    ASSERT_TRUE(hidden.startLoadDocument(ahead));
    ASSERT_TRUE(loads.wait(20000));
    EXPECT_TRUE(hidden.LoadDocument(ahead));
    EXPECT_EQ(loads.size(), 1);
    EXPECT_TRUE(hidden.DocumentHTML().contains("<p>ahead</p>"));
    ASSERT_TRUE(hidden.startLoadDocument(ahead));
    EXPECT_TRUE(hidden.LoadDocument(other));
    EXPECT_TRUE(hidden.DocumentHTML().contains("<p>other</p>"));

    // A view that goes away while it loads (its window closed for good) ends the load.
    auto *gone = new platform::DesignView;
    QTimer::singleShot(0, gone, [gone] { delete gone; });
    EXPECT_FALSE(gone->LoadDocument(ahead));
}

// Text set with its page's path finds its pictures beside that page.
TEST(ViewsDesign, TextOfAPageFindsItsFilesBesideThePage)
{
    QTemporaryDir dir;
    QImage picture(7, 5, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(dir.filePath("pic.png")));
    platform::DesignView view;
    ASSERT_TRUE(view.setDocumentHTML("<html><body><img id=i src=\"pic.png\"></body></html>",
                                     dir.filePath("page.htm")));
    EXPECT_TRUE(testing_support::waitFor(
        [&] { return view.runScript("document.getElementById('i').naturalWidth").toInt() == 7; }));
}

TEST(ViewsBrowser, ALocalPageCannotReadFilesOrSendRequests)
{
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));
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
    ASSERT_TRUE(testing_support::waitFor([&] { return view.title().contains("fetch"); }, 15000))
        << qPrintable(view.title());
    EXPECT_EQ(view.title(), "xhr-refused frame-refused fetch-refused");
    testing_support::wait(300); // a request on its way would have connected by now
    EXPECT_FALSE(listener.hasPendingConnections());
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
    const auto answer = std::make_shared<QString>(); // outlives a late answer
    view.page()->runJavaScript(
        "getComputedStyle(document.body).color + ' ' + document.getElementById('i').naturalWidth",
        [answer](const QVariant &v) { *answer = v.toString(); });
    ASSERT_TRUE(testing_support::waitFor([&] { return !answer->isEmpty(); }));
    EXPECT_TRUE(answer->startsWith("rgb(1, 2, 3) ") && *answer != "rgb(1, 2, 3) 0") << answer->toStdString();
    view.Navigate("about:blank");
    view.Stop();
}

TEST(ViewsSpelling, TheShippedDictionariesServeUnlessTheEnvironmentNamesOthers)
{
    QTemporaryDir dir;
    platform::setApplicationFolder(dir.path());
    ASSERT_TRUE(QDir(dir.path()).mkdir("qtwebengine_dictionaries"));
    ASSERT_TRUE(writeAll(dir.filePath("qtwebengine_dictionaries/xx-XX.bdic"), "bdic"));
    qunsetenv("QTWEBENGINE_DICTIONARIES_PATH");
    platform::DesignView::useShippedDictionaries();
    EXPECT_EQ(platform::DesignView::spellingLanguages(), QStringList{"xx-XX"});
    qputenv("QTWEBENGINE_DICTIONARIES_PATH", "/elsewhere");
    platform::DesignView::useShippedDictionaries();
    EXPECT_EQ(qgetenv("QTWEBENGINE_DICTIONARIES_PATH"), QByteArray("/elsewhere"));
    qunsetenv("QTWEBENGINE_DICTIONARIES_PATH");
}

// Message boxes quote servers' answers and file names: a tag there is text to read,
// not a link to follow. Each box is answered by a timer, so none waits for a user.
TEST(QtMessageBoxes, ShowTheirTextAsWritten)
{
    const QString text = "<a href=\"https://example.invalid/\">Sign in again</a> 550 <b>denied</b>";
    platform::QtDialogs dialogs;
    for (const bool choose : {false, true}) {
        SCOPED_TRACE(choose ? "choose" : "message");
        bool seen = false;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen = true;
            EXPECT_EQ(box->textFormat(), Qt::PlainText);
            EXPECT_EQ(box->text(), text);
            box->buttons().constFirst()->click();
        });
        answer.start(10);
        choose ? void(dialogs.choose(text, "Quillmark", {"Go on", "Stop"}, platform::Icon::Warning))
               : void(dialogs.message(text, "Quillmark", platform::Buttons::Ok, platform::Icon::Critical));
        EXPECT_TRUE(seen);
    }
}
