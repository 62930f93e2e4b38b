// The page check on crafted pages: each rule finds its fault where it is, and a
// clean page gives nothing.
#include "check/PageCheck.h"
#include "check/ParseGuard.h"
#include "common/TestSupport.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tuple>

using namespace check;
using testing_support::writeAll;

namespace {

class PageCheck : public ::testing::Test {
protected:
    QString path(const QString &name) const { return dir.filePath(name); }
    void write(const QString &name, const QByteArray &bytes) { ASSERT_TRUE(writeAll(path(name), bytes)); }
    // A page with its ".files" list naming the page and `listed`.
    void page(const QByteArray &html, const QStringList &listed)
    {
        write("page.htm", html);
        QByteArray list = ":: List of dependency files\r\n\r\n" + path("page.htm").toLocal8Bit() + "\r\n";
        for (const QString &name : listed)
            list += path(name).toLocal8Bit() + "\r\n";
        write("page.htm.files", list + ":: Total files to upload : 9\r\n");
    }
    // Line and column of the first occurrence of `needle` in `text`.
    static std::pair<int, int> where(const QByteArray &text, const QByteArray &needle)
    {
        const qsizetype at = text.indexOf(needle);
        EXPECT_GE(at, 0) << needle.constData();
        const qsizetype lineStart = text.lastIndexOf('\n', at) + 1;
        return {int(text.left(at).count('\n')) + 1,
                int(QString::fromUtf8(text.mid(lineStart, at - lineStart)).size()) + 1};
    }
    QTemporaryDir dir;
};

// What a finding is, in one comparable piece.
using Seen = std::tuple<QString, QString, int, int, Severity>; // rule, file name, line, column, severity

std::vector<Seen> seen(const Report &report)
{
    std::vector<Seen> out;
    for (const Finding &f : report.findings)
        out.emplace_back(f.rule, QFileInfo(f.file).fileName(), f.line, f.column, f.severity);
    return out;
}

const QByteArray kHead = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
                         "<title>Tool: does one thing well</title>\n"
                         "<meta name=\"description\" content=\"Tool does one thing, well.\">\n";

} // namespace

TEST_F(PageCheck, EachRuleFindsItsFaultWhereItIs)
{
    write("pic.png", "png");
    write("unlisted.png", "png");
    write("big.PNG", QByteArray(2100 * 1024, 'x'));
    write("page2.htm", "<p>");
    write("style.css", "body { color: red; }\n/* url(commented.png) */\n"
                       "h1 { background: url(\"sheetgone.png\") }\np { background: url(pic.png) }\n");
    const QByteArray html =
        "<!DOCTYPE html>\n"
        "<html><head><title> </title>\n"
        "<link rel=\"stylesheet\" href=\"style.css\">\n"
        "</head><body>\n"
        "<p><ZOR_PAGE_DATA_KEYWORD> <zor_page_data_faq></ZOR_PAGE_DATA_FAQ> </zor_if_x></p>\n"
        "<img src=\"gone.png\" alt=\"x\" width=1 height=1>\n"
        "<img src=\"unlisted.png\" width=1 height=1>\n"
        "<a href=\"#nowhere\">x</a> <a href=\"#here\">y</a><span id=\"here\"></span>\n"
        "<a href=\"https://shop.example.com./buy\">buy</a><a href=\"mailto:me@x.invalid\">m</a>"
        "<a href=\"https://tool.example/\">e</a>\n"
        "<script src=\"http://cdn.test/x.js\"></script>\n"
        "<img srcset=\"pic.png 1x, big.PNG 2x\" alt=\"\" width=1 height=1>\n"
        "<a href=\"page2.htm\"> </a>\n"
        "<button></button><button><img src=\"pic.png\" alt=\"go\" width=1 height=1></button>\n"
        "<div style=\"background:url('gone2.png')\"></div>\n"
        "<a href=\" Java&#9;Script:go()\">j</a><iframe src=\"DATA:text/html,x\"></iframe>\n"
        "<img src=\"data:image/png;base64,AA\" alt=\"\" width=1 height=1><p onMouseOver=\"go()\">v</p>\n"
        "<form action=\"vbscript:go\"><a href=\"data:image/png,x\">d</a></form>\n"
        "</body></html>\n";
    page(html, {"style.css", "pic.png", "big.PNG", "page2.htm"});
    const QByteArray css = testing_support::readAll(path("style.css"));
    auto at = [&](const char *rule, const QByteArray &needle, Severity s = Severity::Warning) {
        const auto [line, column] = where(html, needle);
        return Seen(rule, "page.htm", line, column, s);
    };
    const Severity E = Severity::Error;
    const std::vector<Seen> expected = {
        Seen("page-weight", "page.htm", 1, 1, Severity::Warning),
        at("meta-description", "<head>"),
        at("empty-title", "<title>", E),
        at("placeholder-left", "<ZOR_PAGE_DATA_KEYWORD>", E),
        at("placeholder-left", "</zor_if_x>", E),
        at("missing-file", "gone.png", E),
        at("img-alt", "<img src=\"unlisted"),
        at("not-listed", "unlisted.png"),
        at("broken-anchor", "#nowhere"),
        at("placeholder-address", "https://shop"),
        at("placeholder-address", "mailto:"),
        at("placeholder-address", "https://tool.example"),
        at("insecure-resource", "http://cdn"),
        at("contacts-host", "http://cdn"),
        at("large-picture", "big.PNG 2x"),
        at("empty-link", "<a href=\"page2", E),
        at("empty-link", "<button>", E),
        at("missing-file", "gone2.png", E),
        at("unsafe-link", " Java", E),
        at("unsafe-link", "DATA:", E),
        at("inline-handler", "go()\">v", E),
        at("unsafe-link", "vbscript", E),
        at("unsafe-link", "data:image/png,x", E),
        Seen("missing-file", "style.css", where(css, "sheetgone").first, where(css, "sheetgone").second, E)};
    const Report report = CheckPage(path("page.htm"));
    EXPECT_EQ(seen(report), expected) << qPrintable(ToText(report));
    EXPECT_EQ(report.errors(), 13);
    EXPECT_EQ(report.warnings(), 11);
}

// Whatever the browser loads or sends to another site is named once per host; links,
// the page's own site and the data only search engines read are no contacts.
TEST_F(PageCheck, ContactsWithOtherHostsAreNamed)
{
    const QByteArray html =
        kHead + "<link rel=\"canonical\" href=\"https://www.tool.test/\">\n"
                "<link rel=\"preconnect\" href=\"https://fonts.test\">\n"
                "<script type=\"application/ld+json\">{\"url\": \"https://ld.test/\"}</script>\n"
                "</head><body><h1>Tool</h1>\n"
                "<a href=\"https://shop.test/buy\">Buy</a><img src=\"https://tool.test/a.png\" alt=\"a\" "
                "width=1 height=1>\n"
                "<img src=\"//pics.test/b.png\" alt=\"b\" width=1 height=1>"
                "<img src=\"https://pics.test/c.png\" alt=\"c\" width=1 height=1>\n"
                "<script>var A=\"https://count.test/e\",O=[\"https:\\/\\/shop.test\\/buy\"];"
                "fetch('/own');</script>\n"
                "</body></html>\n";
    page(html, {});
    QStringList contacts; // "line host"
    for (const Finding &f : CheckPage(path("page.htm")).findings)
        if (f.rule == "contacts-host")
            contacts << QString::number(f.line) +
                            QString(f.message).remove("The page contacts another host:");
    EXPECT_EQ(contacts, QStringList({"6 fonts.test", "10 pics.test", "11 count.test"}));
}

TEST_F(PageCheck, CleanPageGivesNothing)
{
    write("style.css", "@import \"more.css\";\nbody { background: url('bg.png') }\n");
    write("more.css", "h1 { background: url(data:image/png;base64,AAAA) }");
    write("bg.png", "png");
    write("shot.png", "png");
    // A title and a description of just the length search results show.
    const QByteArray html = QByteArray(kHead).replace("Tool: does one thing well",
                                                      "Tool: " + QByteArray(kMaxTitleLength - 6, 't')) +
                            "<link rel=\"stylesheet\" href=\"style.css?v=2\">\n"
                            "<link rel=\"canonical\" href=\"https://tool.test/\">\n"
                            "</head><body id=\"top\">\n"
                            "<a href=\"#top\">Top</a> <a href=\"#faq\">FAQ</a> <a href=\"#\">Home</a>\n"
                            "<a href=\"https://tool.test/buy\"><img src=\"shot.png\" alt=\"\"\n"
                            " width=1 height=1></a>\n"
                            "<a href=\"mailto:me@tool.test\" aria-label=\"Mail us\"></a>\n"
                            // The old way to name a place, the top in any case, a drawing
                            // for a link's text, the site's root and plain http for a link.
                            "<a name=\"old\"></a><a href=\"#old\">Old</a> <a href=\"#TOP\">Top</a>\n"
                            "<a href=\"#top\"><svg width=\"9\" height=\"9\"><path d=\"M0 0\"/></svg></a>\n"
                            "<img src=\"/root.png\" alt=\"R\" width=1 height=1>"
                            "<a href=\"http://tool.test/old\">Old site</a>\n"
                            "<h2 id=\"faq\">FAQ</h2><img src=\"shot%2Epng#x\" alt=\"Shot\"\n"
                            "width=1 height=1>\n"
                            "<ZOR_PAGE_DATA_FAQ></ZOR_PAGE_DATA_FAQ>\n"
                            "<script type=\"application/ld+json\">{\"a\": \"<b>\"}</script>\n"
                            "</body></html>\n";
    const QByteArray clean =
        QByteArray(html).replace("Tool does one thing, well.", QByteArray(kMaxDescriptionLength, 'd'));
    page(clean, {"style.css", "more.css", "bg.png", "shot.png"});
    const Report report = CheckPage(path("page.htm"));
    EXPECT_TRUE(report.findings.isEmpty()) << qPrintable(ToText(report));
    // Saved as UTF-16 with its byte-order mark, it is read as a browser reads it.
    for (const auto order : {QStringConverter::Utf16LE, QStringConverter::Utf16BE}) {
        QStringEncoder encode(order, QStringConverter::Flag::WriteBom);
        write("page.htm", encode(QString::fromUtf8(clean)));
        const Report wide = CheckPage(path("page.htm"));
        EXPECT_TRUE(wide.findings.isEmpty()) << qPrintable(ToText(wide));
    }
}

// Line breaks and tabs inside an address are dropped, as browsers drop them; a name that
// holds one (a style sheet's, here) still gives one finding a line in the text form.
TEST_F(PageCheck, AddressesReadAsBrowsersReadThemAndFindingsStayOneLine)
{
    write("pic.png", "png");
    write("s\ny.css", "p { background: url(gone.png) }\n");
    page(kHead +
             "<link rel=\"stylesheet\" href=\"s%0Ay.css\"></head><body>"
             "<img src=\"pi\nc.\tpng\" alt=\"\" width=1 height=1><img src=\"lo\nst.png\" alt=\"\" width=1 "
             "height=1></body></html>",
         {"pic.png"});
    const Report report = CheckPage(path("page.htm"));
    const QString text = ToText(report);
    QStringList missing;
    static const QRegularExpression line(R"(^(.+):(\d+):(\d+): (error|warning): ([a-z0-9-]+): ([^\n]+)$)");
    for (const QString &l : text.split('\n', Qt::SkipEmptyParts)) {
        const auto m = line.match(l);
        ASSERT_TRUE(m.hasMatch()) << l.toStdString();
        if (m.captured(5) == "missing-file")
            missing << QFileInfo(m.captured(1)).fileName() + ": " + m.captured(6);
    }
    EXPECT_EQ(missing, (QStringList{"page.htm: The file lost.png does not exist",
                                    "s\\ny.css: The file gone.png does not exist"}))
        << text.toStdString();
}

TEST_F(PageCheck, LengthsMissingPartsAndTheTwoFormats)
{
    const QByteArray html = "<title>" + QByteArray(61, 't') +
                            "</title>\n<meta name=\"description\" content=\"" + QByteArray(161, 'd') +
                            "\">\n<p>é<img src=\"x y.png\" alt=\"\" width=1 height=1>\n" +
                            QByteArray("<b>\xc3\xa9\xf0\x9f\x98\x80</b>").repeated(100) +
                            "<img src=\"gone.png\" alt=\"\" width=1 height=1>";
    write("page.htm", html); // and no ".files" list beside it
    Report report = CheckPage(path("page.htm"));
    const Severity W = Severity::Warning;
    const std::vector<Seen> expected = {{"no-file-list", "page.htm", 1, 1, W},
                                        {"title-length", "page.htm", 1, 1, W},
                                        {"meta-description", "page.htm", 2, 1, W},
                                        {"missing-file", "page.htm", 3, 15, Severity::Error},
                                        {"missing-file", "page.htm", 4, 1011, Severity::Error}};
    EXPECT_EQ(seen(report), expected) << qPrintable(ToText(report));
    EXPECT_EQ(ToText(report).split('\n')[3],
              path("page.htm") + ":3:15: error: missing-file: The file x y.png does not exist");
    const QJsonObject json = QJsonDocument::fromJson(ToJson(report)).object();
    EXPECT_EQ(json["page"].toString(), path("page.htm"));
    EXPECT_EQ(json["errors"].toInt(), 2);
    EXPECT_EQ(json["warnings"].toInt(), 3);
    EXPECT_EQ(json["findings"][3]["column"].toInt(), 15);

    report = CheckPage(path("nothing.htm"));
    EXPECT_EQ(seen(report), std::vector<Seen>({{"page-unreadable", "nothing.htm", 1, 1, Severity::Error}}))
        << qPrintable(ToText(report));
}

TEST_F(PageCheck, PagesTheParserCannotTakeAreRefusedWhereTheyGoWrong)
{
    struct Case {
        QByteArray repeated;
        int count;
        const char *rule;
        int column; // where on the page's line 7; 0: anywhere
    };
    std::vector<Case> cases = {
        // Deep enough for browsers, not for the quick estimate: found on the parsed tree,
        // at the first element below the limit (html and body are the first two).
        {"<div>", 1500, "too-deep", 5 * (kMaxNesting - 2) + 1},
        {"<p" + QByteArray(" a").repeated(300) + ">", 1, "too-complex", 1},
        // Shallow enough, but every end tag would search 1990 open elements.
        {QByteArray("<span>").repeated(1990) + QByteArray("</x>").repeated(10000), 1, "too-complex", 0}};
    // The parser would take minutes or overflow its stack on these: none of these
    // shapes lets the nesting shrink, whatever closes itself or ends unmatched.
    for (const char *shape :
         {"<div>", "<b>", "<svg><g>", "<div/>", "<div></x>", "<li><dd>", "<x><div></x>", "<b><div></b>",
          "<svg><style><div>", "<optgroup>", "<rt>", "</th><th><x></object>",
          "</noscript><span></math><math>", "<select><style><template>",
          "<noscript><pre><p></math></noscript>", "<form><h1></form><dt>", "</dialog><g><code><h1/>"})
        cases.push_back({shape, 300000, "too-deep", 0});
    for (const auto &c : cases) {
        SCOPED_TRACE(c.repeated.left(40).constData());
        page(kHead + "</head><body>\n<p>x</p>\n" + c.repeated.repeated(c.count), {});
        const Report report = CheckPage(path("page.htm"));
        ASSERT_EQ(report.findings.size(), 1) << qPrintable(ToText(report));
        EXPECT_EQ(report.findings[0].rule, c.rule);
        EXPECT_EQ(report.findings[0].line, 7);
        EXPECT_EQ(report.findings[0].column, c.column ? c.column : report.findings[0].column);
    }
    // Elements that close themselves or one another, void ones, SVG's "/>" and text in
    // scripts (up to an end tag in any case) do not count, nor do tables, lists and
    // paragraphs left open; a tag may have as many attributes as the limit.
    page(kHead + "</head><body>\n" +
             QByteArray("<p>a<li>b<br><img src=\"#x\" alt=\"\" width=1 height=1><svg><path d=\"M0\"/></svg>"
                        "<table><tr><td>c<td>d<tr><td>e</table><dl><dt>f<dd>g</dl>")
                 .repeated(3000) +
             "<script>" + QByteArray("<div>").repeated(3000) + "</SCRIPT>" + "<svg>" +
             QByteArray("<path d=\"M0\"/>").repeated(1200) + "</svg>" +
             QByteArray("<p>a<div>b</div>").repeated(1200) +
             QByteArray("<BR><IMG src=\"#x\" alt=\"\" width=1 height=1>").repeated(1200) + "<p" +
             QByteArray(" a").repeated(kMaxAttributes) + ">",
         {});
    Report report = CheckPage(path("page.htm"));
    EXPECT_TRUE(report.findings.isEmpty()) << qPrintable(ToText(report).left(2000));

    // Past the size limit neither the page nor a style sheet is read; a 4 GB sheet neither.
    write("big.css", "");
    QFile sheet(path("big.css"));
    ASSERT_TRUE(sheet.resize(qint64(4) << 30)); // sparse: takes no room
    page(kHead + "<link rel=\"stylesheet\" href=\"big.css\"></head><body>\n<p>x</p>", {"big.css"});
    report = CheckPage(path("page.htm"));
    ASSERT_EQ(report.findings.size(), 2) << qPrintable(ToText(report));
    EXPECT_EQ(seen(report)[0], Seen("page-weight", "page.htm", 1, 1, Severity::Warning));
    EXPECT_EQ(seen(report)[1], Seen("too-large", "page.htm", 5, 30, Severity::Error));
    report = CheckPage(path("page.htm"), 100);
    EXPECT_EQ(seen(report), std::vector<Seen>({{"too-large", "page.htm", 1, 1, Severity::Error}}))
        << qPrintable(ToText(report));

    // A page of faults: each rule lists so many, then counts the rest in one finding.
    page(kHead + "</head><body>\n" + QByteArray("<img src=\"#top\">").repeated(kMaxFindingsPerRule + 7), {});
    report = CheckPage(path("page.htm"));
    ASSERT_EQ(report.findings.size(), 2 * (kMaxFindingsPerRule + 1)); // img-alt and img-size
    EXPECT_EQ(report.findings.back().message, "7 more findings like this are not listed");
    EXPECT_EQ(report.findings.back().column, 1 + 16 * kMaxFindingsPerRule);
}

// Version B is checked as its visitors see it: what only B gets wrong is named as B's.
TEST_F(PageCheck, BothVersionsAreChecked)
{
    page(kHead + "</head><body><template id=\"qm-variant-b\"><span data-ab=\"b\" data-ab-id=\"1\"> </span>"
                 "</template><h1>Tool</h1>\n<a href=\"#top\" id=\"top\"><span data-ab=\"a\">Buy</span>"
                 "<script>qmAB(1)</script></a>\n</body></html>\n",
         {});
    const Report report = CheckPage(path("page.htm"));
    EXPECT_EQ(report.findings.size(), 1) << qPrintable(ToText(report));
    EXPECT_TRUE(
        ToText(report).contains("page.htm:6:1: error: empty-link: In version B: The link has no text"));
}

// Before a publish: only the pages with a file list and an error hold it up.
TEST_F(PageCheck, PagesWithErrorsAreTheListedPagesThatHaveOne)
{
    page(kHead + "</head><body><h1>Tool</h1><img src=\"gone.png\" alt=\"\" width=1 height=1>", {});
    write("x.png", "png");
    write("fine.htm", kHead + "</head><body><h1>Tool</h1><img src=\"x.png\" width=1 height=1>"); // warnings
    write("fine.htm.files", path("fine.htm").toLocal8Bit());
    write("unlisted.html", "<title></title>");
    write("listed.html", "<title></title>");
    write("listed.html.files", path("listed.html").toLocal8Bit());
    write("notes.txt", "<title></title>");
    write("notes.txt.files", path("notes.txt").toLocal8Bit());
    const QVector<Report> held = PagesWithErrors(
        {path("fine.htm"), path("unlisted.html"), path("notes.txt"), path("page.htm"), path("listed.html")});
    ASSERT_EQ(held.size(), 2);
    EXPECT_EQ(held[0].page, path("page.htm"));
    EXPECT_EQ(held[1].page, path("listed.html"));
}
