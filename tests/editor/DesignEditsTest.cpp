// Design edits through the real design view keep the bytes they did not touch; what
// the view serialised is stored for editor_design_merge (QUILLMARK_UPDATE_REFERENCES=1).
#include "EditorWindow.h"
#include "common/TestSupport.h"
#include "editor/logic/TableText.h"
#include "editor/source/DesignMerge.h"

#include <QWebEnginePage>
#include <QWebEngineScript>
#include <memory>

namespace {

// Selects a word (or the whole) of the `nth` paragraph with words of its own.
QString selectIn(int nth, bool whole)
{
    return QStringLiteral(
               "(function(){ var n = %1, ps = document.body.querySelectorAll('p');"
               " for (var i = 0; i < ps.length; ++i) for (var t = ps[i].firstChild; t; t = t.nextSibling) {"
               "  var m = t.nodeType == 3 && /[A-Za-z]{4,}/.exec(t.data); if (!m) continue; if (n-- > 0) "
               "break;"
               "  var r = document.createRange(); if (%2) r.selectNode(ps[i]);"
               "  else { r.setStart(t, m.index); r.setEnd(t, m.index + m[0].length); }"
               "  getSelection().removeAllRanges(); getSelection().addRange(r); return true; }"
               " return false; })()")
        .arg(nth)
        .arg(whole);
}

class DesignEdits : public EditorWindow {};

} // namespace

TEST_F(DesignEdits, EveryEditKeepsTheBytesItDidNotTouch)
{
    platform::DesignView view;
    const QString root = testing_support::sourceDir() + '/', refs = root + "tests/editor/references/design/";
    QStringList pages = {"tests/generation/references/Clarity.htm",
                         "tests/editor/references/design/handwritten.htm"};
    for (const QString &t : QDir(root + "templates").entryList({"*.htm"}))
        pages << "templates/" + t;
    const struct {
        const char *name;
        int paragraph, command; // 0: a table inserted at the word's end, -1: the paragraph deleted
    } edits[] = {{"bold", 0, platform::DECMD_BOLD},
                 {"color", 1, platform::DECMD_SETFORECOLOR},
                 {"table", 0, 0},
                 {"delete", 1, -1}};
    for (const QString &page : pages) {
        const QString original = QString::fromUtf8(testing_support::readAll(root + page));
        const QString name =
            refs + QFileInfo(page).completeBaseName() + (page.contains("generation") ? "_generated" : "");
        for (const auto &edit : edits) {
            SCOPED_TRACE((page + ": " + edit.name).toStdString());
            ASSERT_TRUE(view.LoadDocument(root + page));
            const QString before = view.DocumentHTML();
            ASSERT_TRUE(view.runScript(selectIn(edit.paragraph, edit.command < 0)).toBool());
            ASSERT_TRUE(edit.command > 0 ? view.ExecCommand(edit.command, 0, "C00000")
                        : edit.command == 0
                            ? view.runScript("getSelection().collapseToEnd(); true").toBool() &&
                                  view.pasteHTML(editor::BuildTableText(1, {}))
                            : view.runScript("document.execCommand('delete')").toBool());
            const QString after = view.DocumentHTML(), stem = name + '.' + edit.name;
            const QString merged = textmodel::MergeDesignEdit(original, before, after);
            if (qEnvironmentVariableIsSet("QUILLMARK_UPDATE_REFERENCES")) {
                testing_support::writeAll(name + ".before.htm", before.toUtf8());
                testing_support::writeAll(stem + ".after.htm", after.toUtf8());
                testing_support::writeAll(stem + ".expected.htm", merged.toUtf8());
            }
            EXPECT_EQ(merged, QString::fromUtf8(testing_support::readAll(stem + ".expected.htm")));
        }
    }
}

TEST_F(DesignEdits, TheWindowSavesADesignEditInThePagesOwnForm)
{
    const QString refs = testing_support::sourceDir() + "/tests/editor/references/design/";
    const QString page = openWith("hand.htm", testing_support::readAll(refs + "handwritten.htm"));
    ASSERT_TRUE(designView()->runScript(selectIn(0, false)).toBool());
    ASSERT_TRUE(designView()->ExecCommand(platform::DECMD_BOLD));
    EXPECT_TRUE(window->save());
    const QByteArray expected = testing_support::readAll(refs + "handwritten.bold.expected.htm");
    EXPECT_EQ(testing_support::readAll(page), expected); // CR LF line ends included
}

TEST_F(DesignEdits, TypedEditsKeepThePagesFormAndUnnoticedChangesAreTakenWhole)
{
    // Typing: the page is written down as loaded before the browser changes it.
    const QByteArray original =
        "<!DOCTYPE HTML>\r\n<HTML><BODY><P CLASS=x>Typed here &amp; kept</P></BODY></HTML>\r\n";
    const QString page = openWith("typed.htm", original);
    window->activateWindow();
    designView()->setFocus();
    QWidget *input = designView()->focusProxy();
    QTest::mouseClick(input, Qt::LeftButton, {}, QPoint(20, 15));
    QTest::keyClicks(input, "Z");
    ASSERT_TRUE(testing_support::waitFor([&] { return designView()->DocumentHTML().contains('Z'); }));
    EXPECT_TRUE(window->save());
    const QByteArray saved = testing_support::readAll(page);
    EXPECT_EQ(saved.count('Z'), 1) << saved.toStdString();
    EXPECT_EQ(QByteArray(saved).replace("Z", ""), original) << saved.toStdString();

    // A change the view was not told of leaves nothing to measure edits against.
    openWith("unnoticed.htm", original);
    const auto changed = std::make_shared<bool>(false); // outlives a late answer
    designView()->page()->runJavaScript("document.body.appendChild(document.createElement('hr')); true",
                                        QWebEngineScript::ApplicationWorld,
                                        [changed](const QVariant &) { *changed = true; });
    ASSERT_TRUE(testing_support::waitFor([&] { return *changed; }));
    EXPECT_TRUE(designView()->baselineHTML().isEmpty());
}
