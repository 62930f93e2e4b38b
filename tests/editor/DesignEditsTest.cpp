// Design edits written back through the real design view: the four everyday edits on
// the templates, a generated page and a hand-written one keep every byte they did not
// touch. The serialisations seen here are stored beside the expected pages, so the
// merge's own test replays them without WebEngine. After a deliberate change (or a
// new WebEngine): QUILLMARK_UPDATE_REFERENCES=1 ctest -R editor_design_edits.
#include "EditorWindow.h"
#include "editor/logic/TableText.h"
#include "editor/source/DesignMerge.h"

namespace {

const char *const kPages[] = {"templates/Clarity.htm",
                              "templates/Ember.htm",
                              "templates/Handbook.htm",
                              "templates/Letterpress.htm",
                              "templates/Marigold.htm",
                              "templates/Midnight.htm",
                              "tests/generation/references/Clarity.htm",
                              "tests/editor/references/design/handwritten.htm"};

// Selects a word (or the whole paragraph) of the `nth` paragraph with words of its own.
QString selectIn(int nth, bool wholeParagraph)
{
    return QStringLiteral(
               "(function(){ var n = %1, ps = document.body.querySelectorAll('p');"
               " for (var i = 0; i < ps.length; ++i) { var p = ps[i];"
               "  for (var t = p.firstChild; t; t = t.nextSibling) {"
               "   if (t.nodeType != 3) continue; var m = /[A-Za-z]{4,}/.exec(t.data); if (!m) continue;"
               "   if (n-- > 0) break; var r = document.createRange();"
               "   if (%2) r.selectNode(p); else { r.setStart(t, m.index); r.setEnd(t, m.index + "
               "m[0].length); }"
               "   var s = getSelection(); s.removeAllRanges(); s.addRange(r); return true; } }"
               " return false; })()")
        .arg(nth)
        .arg(wholeParagraph ? "true" : "false");
}

class DesignEdits : public EditorWindow {};

} // namespace

TEST_F(DesignEdits, EveryEditKeepsTheBytesItDidNotTouch)
{
    platform::DesignView view;
    view.resize(900, 700);
    const bool update = qEnvironmentVariableIsSet("QUILLMARK_UPDATE_REFERENCES");
    const QString refs = testing_support::sourceDir() + "/tests/editor/references/design/";
    const QString table = editor::BuildTableText(1, {});
    for (const char *page : kPages) {
        const QString file = testing_support::sourceDir() + '/' + page;
        const QString original = QString::fromUtf8(testing_support::readAll(file));
        const QString name = refs + QFileInfo(file).completeBaseName() +
                             (QString(page).startsWith("tests/generation") ? "_generated" : "");
        struct Edit {
            const char *name;
            std::function<bool()> run;
        } edits[] = {
            {"bold",
             [&] {
                 return view.runScript(selectIn(0, false)).toBool() && view.ExecCommand(platform::DECMD_BOLD);
             }},
            {"color",
             [&] {
                 return view.runScript(selectIn(1, false)).toBool() &&
                        view.ExecCommand(platform::DECMD_SETFORECOLOR, 0, "C00000");
             }},
            {"table",
             [&] {
                 return view.runScript(selectIn(0, false) + " && (getSelection().collapseToEnd(), true)")
                            .toBool() &&
                        view.pasteHTML(table);
             }},
            {"delete",
             [&] {
                 return view.runScript(selectIn(1, true)).toBool() &&
                        view.runScript("document.execCommand('delete')").toBool();
             }},
        };
        for (const Edit &edit : edits) {
            SCOPED_TRACE(std::string(page) + ": " + edit.name);
            ASSERT_TRUE(view.LoadDocument(file));
            const QString before = view.DocumentHTML();
            ASSERT_TRUE(edit.run());
            const QString after = view.DocumentHTML();
            ASSERT_NE(after, before);
            const QString merged = textmodel::MergeDesignEdit(original, before, after);
            const QString stem = name + '.' + edit.name;
            if (update) {
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
    window->switchTab(1);
    EXPECT_EQ(sourceView()->Text(), QString::fromUtf8(expected).replace("\r\n", "\n"));
}
