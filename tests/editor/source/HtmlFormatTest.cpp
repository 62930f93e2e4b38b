// The HTML formatter: what it indents, what it keeps byte for byte, and that a browser
// builds the same tree from the page before and after.
#include "editor/source/HtmlFormat.h"
#include "editor/source/DomText.h"

#include "common/TestSupport.h"

#include <QDir>
#include <gtest/gtest.h>

using textmodel::FormatHtml;

TEST(HtmlFormat, ShippedPagesKeepTheirTreeAndFormatOnce)
{
    const QDir root(testing_support::sourceDir());
    QStringList pages{"tests/editor/references/page.htm"};
    for (const QString &name : QDir(root.filePath("templates")).entryList({"*.htm"}))
        pages << "templates/" + name << "tests/generation/references/" + name;
    ASSERT_EQ(pages.size(), 13);
    for (const QString &path : pages) {
        const QString page = QString::fromUtf8(testing_support::readAll(root.filePath(path)));
        const QString formatted = FormatHtml(page);
        EXPECT_EQ(domtext::DomText(formatted), domtext::DomText(page)) << path.toStdString();
        EXPECT_EQ(FormatHtml(formatted), formatted) << path.toStdString();
        // The file's own line ends.
        EXPECT_EQ(formatted.count('\r') == formatted.count('\n'), page.count('\r') == page.count('\n'));
        EXPECT_EQ(formatted.count('\r') == 0, page.count('\r') == 0);
    }
}

TEST(HtmlFormat, IndentsBlocksAndKeepsEverythingElse)
{
    const struct {
        const char *what, *page, *formatted;
    } cases[] = {
        {"nesting", "<div>\n<ul><li>a</li>\n\n\n<li>b</li></ul></div>\n",
         "<div>\n  <ul>\n    <li>a</li>\n\n    <li>b</li>\n  </ul>\n</div>\n"},
        {"implied ends", "<ul>\n<li>a\n<li>b\n</ul>\n<p>x\n<div>y</div>\n",
         "<ul>\n  <li>a\n<li>b\n</ul>\n<p>x\n<div>y</div>\n"},
        {"pre", "<div>\n<pre>\n  x\n    <b>y</b>\n</pre><p>z</p></div>",
         "<div>\n  <pre>\n  x\n    <b>y</b>\n</pre>\n  <p>z</p>\n</div>"},
        {"inline", "<div>\n<p>a <b>b</b>\n <i>c</i></p><span>d</span>\n<span>e</span></div>",
         "<div>\n  <p>a <b>b</b>\n <i>c</i></p><span>d</span>\n<span>e</span></div>"},
        {"comments", "<div>\n<!--  a\n   b -->\n<p>x</p></div>\n",
         "<div>\n  <!--  a\n   b -->\n  <p>x</p>\n</div>\n"},
        {"attributes and entities",
         "<div class='a'   ID=b data-x=\"&amp;>\"><p title=\"&lt;\">&nbsp;&amp;</p></div>",
         "<div class='a'   ID=b data-x=\"&amp;>\">\r\n  <p title=\"&lt;\">&nbsp;&amp;</p>\r\n</div>"},
        {"line ends of the text kept", "<!>\r\r\r<ul>\n\nu", "<!>\n\n<ul>\n\nu"},
        {"CR LF", "<ul>\r\n<li>a</li>\r\n</ul>\r\n", "<ul>\r\n  <li>a</li>\r\n</ul>\r\n"},
        {"raw text",
         "<div>\n<script>if (a<b) {\n}</script><style>\np>b {}</style><textarea>\n x </textarea></div>",
         "<div>\n  <script>if (a<b) {\n}</script><style>\np>b {}</style><textarea>\n x </textarea></div>"},
        {"empty elements", "<div></div><table><tr><td></td></tr></table>",
         "<div></div>\r\n<table>\r\n  <tr>\r\n    <td></td>\r\n  </tr>\r\n</table>"},
        {"open formatting", "<p><b>x</p><p>y</p>", "<p><b>x</p><p>y</p>"},
        {"markers", "<section><ZOR_IF_X><div>\n<p>a</p></div></ZOR_IF_X><ZOR_Y> <ZOR_Z></section>",
         "<section><ZOR_IF_X><div>\n    <p>a</p>\n  </div></ZOR_IF_X><ZOR_Y> <ZOR_Z></section>"},
        {"head", "<html><head><title>t</title><meta charset=utf-8></head>\n<body><h1>x</h1></body></html>",
         "<html>\n<head>\n<title>t</title>\n<meta "
         "charset=utf-8>\n</head>\n<body>\n<h1>x</h1>\n</body></html>"},
        {"late head and body tags", "<div>a<meta></head><meta>b<body><meta></body><i>c</i></div>",
         "<div>a<meta></head><meta>b<body><meta></body><i>c</i></div>"},
        {"stray end tags", "<p>a<b>b</b></td></tr><i>c</i></p>", "<p>a<b>b</b></td></tr><i>c</i></p>"},
        {"moved out of a table", "<table><td></tr>><t></td><tr>v", "<table><td></tr>><t></td><tr>v"},
        {"HTML inside SVG", "<svg><title><l></svg><table><tr>", "<svg><title><l></svg><table><tr>"},
        {"SVG left from its title", "<svg><title>!l></svg/><table><tr>`",
         "<svg><title>!l></svg/><table><tr>`"},
        {"upper case", "<DIV>\n<P>x</P></DIV>", "<DIV>\n  <P>x</P>\n</DIV>"},
        {"quoted >", "<div title='a>b'><p>x</p></div>", "<div title='a>b'>\r\n  <p>x</p>\r\n</div>"},
        {"raw text in capitals", "<div>\n<SCRIPT>a</SCRIPT><p>x</p></div>",
         "<div>\n  <SCRIPT>a</SCRIPT><p>x</p>\n</div>"},
        {"nested lists", "<ol>\n<li>a\n<ol>\n<li>b</li>\n</ol>\n</li>\n<li>c</li>\n</ol>",
         "<ol>\n  <li>a\n<ol>\n      <li>b</li>\n    </ol>\n  </li>\n  <li>c</li>\n</ol>"},
        {"definitions", "<div>\n<dl>\n<dd>a\n<dd><p>b</p></dl></div>",
         "<div>\n  <dl>\n    <dd>a\n<dd>\n      <p>b</p>\n  </dl>\n</div>"},
        {"void blocks", "<div>\n<hr>\n<p>x</p></div>", "<div>\n  <hr>\n  <p>x</p>\n</div>"},
        {"a head in the body", "<html><head></head><body>\n<head><div>\n<p>x</p></div></body></html>",
         "<html>\n<head></head>\n<body>\n<head><div>\n  <p>x</p>\n</div>\n</body></html>"},
        {"as many LF as CR LF", "<div><p>a\nb\r\nc</p></div>", "<div>\r\n  <p>a\nb\r\nc</p>\r\n</div>"},
        {"unfinished tag", "<div><p>a</p><p class=\"x>\n</div>", "<div>\n  <p>a</p><p class=\"x>\n</div>"},
        {"runs of comments",
         "<div>\n<!--a--><!--b-->\n<!--c--><p>x</p><!--d--> <!--e-->y<!--f--><p>z</p></div>",
         "<div>\n  <!--a-->\n  <!--b-->\n  <!--c-->\n  <p>x</p><!--d--> <!--e-->y<!--f--><p>z</p>\n</div>"},
        {"text beyond comments", "<div><p>x</p>y<!--c-->\n<p>z</p></div>",
         "<div>\n  <p>x</p>y<!--c-->\n<p>z</p>\n</div>"},
        {"text after a comment", "<div><p>x</p>\n<!--c-->y<p>z</p></div>",
         "<div>\n  <p>x</p>\n<!--c-->y<p>z</p>\n</div>"},
    };
    for (const auto &c : cases) {
        const QString page = QString::fromUtf8(c.page), formatted = FormatHtml(page);
        EXPECT_EQ(formatted.toStdString(), c.formatted) << c.what;
        EXPECT_EQ(FormatHtml(formatted), formatted) << c.what;
        EXPECT_EQ(domtext::DomText(formatted), domtext::DomText(page)) << c.what;
    }
    EXPECT_EQ(FormatHtml("<div><p>x</p></div>", {4, "\n"}), "<div>\n    <p>x</p>\n</div>");
    // Past a depth, lines are indented no further: a page nested thousands deep stays
    // about its own size.
    const QString deep = QString("<div>").repeated(textmodel::kMaxIndentLevels + 5) + "x";
    const QStringList lines = FormatHtml(deep, {2, "\n"}).split('\n');
    ASSERT_EQ(lines.size(), textmodel::kMaxIndentLevels + 5);
    EXPECT_EQ(lines[textmodel::kMaxIndentLevels - 1],
              QString(2 * (textmodel::kMaxIndentLevels - 1), ' ') + "<div>");
    EXPECT_EQ(lines.last(), QString(2 * textmodel::kMaxIndentLevels, ' ') + "<div>x");
}

TEST(HtmlFormat, FirstChangedLineCountsEveryLineEnd)
{
    EXPECT_EQ(textmodel::FirstChangedLine("a\r\nb\rc\nd", "a\r\nb\rc\nD"), 4);
    EXPECT_EQ(textmodel::FirstChangedLine("a\nb", "a\nb"), 0);
    EXPECT_EQ(textmodel::FirstChangedLine("a\nb", "a\nb\n"), 2);
}
