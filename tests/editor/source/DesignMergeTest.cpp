// Design edits merged into the page's own text: the edits stored by editor_design_edits
// and small pages where the text cannot be cut safely.
#include "editor/source/DesignMerge.h"
#include "common/TestSupport.h"

#include <QtCore>
#include <gtest/gtest.h>

using textmodel::MergeDesignEdit;

static QString read(const QString &path)
{
    return QString::fromUtf8(testing_support::readAll(path));
}

TEST(DesignMerge, StoredEditsChangeOnlyWhatTheyTouched)
{
    const QString root = testing_support::sourceDir() + '/';
    const QDir refs(root + "tests/editor/references/design");
    const QStringList afters = refs.entryList({"*.after.htm"});
    ASSERT_EQ(afters.size(), 32);
    for (const QString &after : afters) {
        SCOPED_TRACE(after.toStdString());
        const QString page = after.section('.', 0, 0), stem = refs.filePath(after.section('.', 0, 1));
        const QString original =
            read(page == "handwritten"         ? refs.filePath("handwritten.htm")
                 : page == "Clarity_generated" ? root + "tests/generation/references/Clarity.htm"
                                               : root + "templates/" + page + ".htm");
        const QString before = read(refs.filePath(page + ".before.htm"));
        EXPECT_EQ(MergeDesignEdit(original, before, read(refs.filePath(after))),
                  read(stem + ".expected.htm"));
        EXPECT_EQ(MergeDesignEdit(original, before, before), original);
    }
}

TEST(DesignMerge, KeepsTheOwnFormAroundAnEditAndWidensWhereItMustCut)
{
    const QString body = "<html><head></head><body>%1</body></html>";
    struct Case {
        const char *original, *before, *after, *expected;
    } cases[] = {
        // Implied html, head and body; upper case, unquoted attributes, entities stay.
        {"<P CLASS=a>one</P>\n<P>two &amp; three</P>", "<p class=\"a\">one</p>\n<p>two &amp; three</p>",
         "<p class=\"a\">one</p>\n<p>two &amp; <b>three</b></p>",
         "<P CLASS=a>one</P>\n<P>two &amp; <b>three</b></P>"},
        // A changed attribute rewrites that element only; a deleted one leaves its neighbours' line ends.
        {"<FONT COLOR=red>x</FONT>\r\n<P>a</P>\r\n<P>b</P>",
         "<font color=\"red\">x</font>\n<p>a</p>\n<p>b</p>", "<font color=\"#00ff00\">x</font>\n<p>b</p>",
         "<font color=\"#00ff00\">x</font>\r\n<P>b</P>"},
        // Text the parser moved out of the table: nothing to cut, the view's text is taken.
        {"<TABLE>lost<TR><TD>a</TD></TR></TABLE>", "lost<table><tbody><tr><td>a</td></tr></tbody></table>",
         "lost<table><tbody><tr><td>b</td></tr></tbody></table>", nullptr},
        // A page with nothing of its own yet.
        {"\n", "", "<p>new</p>", nullptr},
        // An edit and a removal in one parent: the sibling between them keeps its own form.
        {"<P>a</P><P CLASS=k>b</P><P>c</P><P>d</P>", "<p>a</p><p class=\"k\">b</p><p>c</p><p>d</p>",
         "<p><b>a</b></p><p class=\"k\">b</p><p><i>d</i></p>",
         "<P><b>a</b></P><P CLASS=k>b</P><p><i>d</i></p>"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.original);
        const QString after = body.arg(c.after);
        EXPECT_EQ(MergeDesignEdit(c.original, body.arg(c.before), after), c.expected ? c.expected : after);
    }
    // Nested deeper than browsers nest: the view's text.
    const QString deep = QString("<div>").repeated(600) + "x",
                  deepAfter = body.arg(QString(deep).replace("x", "<b>x</b>"));
    EXPECT_EQ(MergeDesignEdit(deep, body.arg(deep), deepAfter), deepAfter);
    // Many void tags in upper case leave nothing open: the page keeps its form.
    const QString lines = QString("x<BR>").repeated(9000);
    EXPECT_EQ(MergeDesignEdit("<P>a</P>" + lines, body.arg("<p>a</p>" + lines.toLower()),
                              body.arg("<p><b>a</b></p>" + lines.toLower())),
              "<P><b>a</b></P>" + lines);
}
