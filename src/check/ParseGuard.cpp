// The scan of a page's tags before parsing: a replay of the tree builder's stack of open
// elements, close enough to bound the depth the parser reaches and the work it does.
#include "check/ParseGuard.h"

#include <QtGlobal>
#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace check {
namespace {

using Names = std::unordered_set<std::string_view>;
const Names kVoid = {"area",   "base",     "br",      "col",   "embed",  "hr",     "img",
                     "input",  "link",     "meta",    "param", "source", "track",  "wbr",
                     "keygen", "basefont", "bgsound", "frame", "image",  "isindex"};
const Names kRawText = {"script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes"};
const Names kFormatting = {"a",    "b", "big",   "code",   "em",     "font", "i",
                           "nobr", "s", "small", "strike", "strong", "tt",   "u"};
// HTML elements an end tag of another element does not pass (the tree builder's
// "special" ones).
// clang-format off
const Names kSpecial = {
    "address", "applet", "area", "article", "aside", "base", "basefont", "bgsound", "blockquote", "body", "br",
    "button", "caption", "center", "col", "colgroup", "dd", "details", "dir", "div", "dl", "dt", "embed",
    "fieldset", "figcaption", "figure", "footer", "form", "frame", "frameset", "h1", "h2", "h3", "h4", "h5", "h6",
    "head", "header", "hgroup", "hr", "html", "iframe", "img", "input", "keygen", "li", "link", "listing", "main",
    "marquee", "menu", "meta", "nav", "noembed", "noframes", "noscript", "object", "ol", "p", "param",
    "plaintext", "pre", "script", "section", "select", "source", "style", "summary", "table", "tbody", "td",
    "template", "textarea", "tfoot", "th", "thead", "title", "tr", "track", "ul", "wbr", "xmp"};
// Inside SVG or MathML these go back to HTML (and a "/>" on them closes nothing). A <font>
// does so only with some attributes: taken as staying inside, it can only seem deeper.
const Names kBreakOut = {
    "b", "big", "blockquote", "body", "br", "center", "code", "dd", "div", "dl", "dt", "em", "embed", "h1", "h2",
    "h3", "h4", "h5", "h6", "head", "hr", "i", "img", "li", "listing", "menu", "meta", "nobr", "ol", "p", "pre",
    "ruby", "s", "small", "span", "strong", "strike", "sub", "sup", "table", "tt", "u", "ul", "var"};
const Names kClosesP = {
    "address", "article", "aside", "blockquote", "center", "details", "dialog", "dir", "div", "dl", "fieldset",
    "figcaption", "figure", "footer", "header", "hgroup", "main", "menu", "nav", "ol", "section", "summary", "ul",
    "h1", "h2", "h3", "h4", "h5", "h6", "pre", "listing", "form", "hr", "xmp"};
// clang-format on
// End tags that close their element through other special ones, within a scope (any
// other end tag stops at the first special element above its own).
// clang-format off
const Names kScopedEnd = {
    "address", "article", "aside", "blockquote", "button", "center", "details", "dialog", "dir", "div", "dl",
    "fieldset", "figcaption", "figure", "footer", "header", "hgroup", "listing", "main", "menu", "nav", "ol", "pre",
    "section", "summary", "ul", "p", "li", "dd", "dt", "h1", "h2", "h3", "h4", "h5", "h6", "applet", "marquee",
    "object", "table", "tbody", "thead", "tfoot", "tr", "td", "th", "caption", "colgroup", "select", "template"};
// clang-format on
// Where an end tag's search for its element stops (HTML elements).
const Names kScopeEdge = {"applet", "caption", "html", "table", "td", "th", "marquee", "object", "template"};
const Names kTablePart = {"table", "tbody", "thead", "tfoot", "tr", "td", "th", "caption", "colgroup"};
// SVG and MathML elements whose content is HTML again; they also stop end tags.
const Names kIntegrationPoint = {"foreignobject", "desc",          "title", "mi", "mo", "mn", "ms",
                                 "mtext",         "annotation-xml"};
// Elements the tree builder closes without their end tag before some end tags.
const Names kImpliedEnd = {"dd", "dt", "li", "optgroup", "option", "p", "rb", "rp", "rt", "rtc"};
// Start tags that close these when they are the current element.
const std::pair<const char *, Names> kClosesOpen[] = {
    {"p", {"p"}},
    {"li", {"li", "p"}},
    {"dd", {"dd", "dt", "p"}},
    {"dt", {"dd", "dt", "p"}},
    {"option", {"option"}},
    {"menuitem", {"menuitem"}},
    {"optgroup", {"option", "optgroup"}},
    {"tr", {"td", "th", "tr"}},
    {"td", {"td", "th"}},
    {"th", {"td", "th"}},
    {"tbody", {"td", "th", "tr", "tbody", "thead", "tfoot"}},
    {"thead", {"td", "th", "tr", "tbody", "thead", "tfoot"}},
    {"tfoot", {"td", "th", "tr", "tbody", "thead", "tfoot"}},
    {"rb", {"rb", "rt", "rp", "rtc"}},
    {"rt", {"rb", "rt", "rp"}},
    {"rp", {"rb", "rt", "rp"}},
    {"rtc", {"rb", "rt", "rp", "rtc"}},
    {"table", {"tr", "tbody", "thead", "tfoot", "table"}}};

class NestingEstimate {
public:
    explicit NestingEstimate(int limit) : m_limit(limit) {}

    // Returns true when the estimate passes the limit.
    bool start(const std::string &name, bool selfClosing)
    {
        const Entry *top = m_stack.empty() ? nullptr : &m_stack.back();
        const bool foreign =
            name == "svg" || name == "math" || (top && top->childrenForeign && !kBreakOut.count(name));
        m_lastForeign = foreign;
        if (foreign) {
            if (!selfClosing)
                push(name, true);
            return depth() > m_limit;
        }
        // Leaving SVG or MathML closes what was open there.
        while (!m_stack.empty() && m_stack.back().childrenForeign)
            pop();
        // (A frameset is dropped once the body has begun; before, it nests only framesets,
        // which the parser adds at no cost and the check measures on the tree.)
        if (name == "html" || name == "head" || name == "body" || name == "frameset")
            return false;
        // A form is dropped while the last one has not been ended.
        if (name == "form" && !isOpen("template")) {
            if (m_formOpen)
                return false;
            m_formOpen = true;
        }
        const std::string tag = known(name);
        // Table parts outside a table are dropped.
        if (kTablePart.count(tag) && tag != "table" && !isOpen("table") && !isOpen("template"))
            return false;
        if (kClosesP.count(tag) && !m_stack.empty() && m_stack.back().key == "h:p")
            pop();
        // (Ruby's parts close one another only inside a ruby, option groups only in a
        // select: elsewhere they nest.)
        const bool ruby = tag[0] == 'r' && tag.size() <= 3;
        for (const auto &[opener, closed] : kClosesOpen)
            if (tag == opener && (!ruby || isOpen("ruby")))
                while (!m_stack.empty() && !m_stack.back().foreign && closed.count(m_stack.back().name) &&
                       (m_stack.back().name != "optgroup" || isOpen("select")))
                    pop();
        if (kVoid.count(tag))
            return false;
        if (kFormatting.count(tag)) {
            ++m_formatting[tag];
            ++m_formattingOpen;
        }
        push(tag, false);
        return depth() > m_limit;
    }

    void end(const std::string &name)
    {
        if (!foreignTop() && kFormatting.count(name)) {
            auto &count = m_formatting[name];
            if (count > 0) {
                --count;
                --m_formattingOpen;
            }
        }
        if (m_stack.empty())
            return;
        const Entry &top = m_stack.back();
        if (top.foreign) {
            // In SVG and MathML an end tag closes its element, unless HTML lies between.
            const auto at = m_open.find("f:" + name);
            if (at != m_open.end() && at->second.back() > top.html) {
                popTo(at->second.back());
                return;
            }
        }
        const std::string tag = known(name);
        if (tag == "menuitem")
            return; // the parser leaves it open
        if (tag == "form")
            m_formOpen = false;
        const auto at = m_open.find("h:" + tag);
        if (at == m_open.end())
            return;
        const int index = at->second.back();
        // Nothing between the element and the current one may stop the end tag.
        if (tag == "form") {
            // It leaves what it holds open: only a form that is the current element closes.
            while (!m_stack.empty() && m_stack.back().key != "h:form" &&
                   kImpliedEnd.count(m_stack.back().name) && !m_stack.back().foreign)
                pop();
            if (!m_stack.empty() && m_stack.back().key == "h:form")
                pop();
            return;
        }
        if (kScopedEnd.count(tag)) {
            const int edge = tag == "li"                 ? top.listEdge
                             : tag == "p"                ? top.buttonEdge
                             : kTablePart.count(tag) > 0 ? top.tableEdge
                                                         : top.scopeEdge;
            if (edge > index)
                return;
        } else if (top.special > index) {
            return;
        }
        popTo(index);
    }

    bool lastForeign() const { return m_lastForeign; } // the last start tag's element is SVG or MathML
    int depth() const { return int(m_stack.size()) + m_formattingOpen; }
    // Whether the tree builder takes the text after this start tag as text: a select drops
    // most tags, raw-text ones included.
    bool rawTextTaken(const std::string &name) const
    {
        return !isOpen("select") || name == "script" || name == "textarea";
    }

private:
    struct Entry {
        std::string name, key;
        bool foreign, childrenForeign;
        // The index of the nearest entry at or below of each kind, or -1.
        int special, scopeEdge, tableEdge, listEdge, buttonEdge, html;
    };
    // The parser tells HTML elements apart by name, except that it takes all the ones it
    // does not know for one, "?", and treats them alike.
    static std::string known(const std::string &name)
    {
        return gumbo_tag_enum(name.c_str()) == GUMBO_TAG_UNKNOWN ? "?" : name;
    }
    static std::string htmlKey(const std::string &name) { return "h:" + known(name); }
    bool isOpen(const char *html) const { return m_open.count(std::string("h:") + html) > 0; }
    bool foreignTop() const { return !m_stack.empty() && m_stack.back().childrenForeign; }

    void push(const std::string &name, bool foreign)
    {
        const int index = int(m_stack.size());
        const Entry *below = m_stack.empty() ? nullptr : &m_stack.back();
        auto nearest = [&](bool is, int Entry::*field) { return is ? index : below ? below->*field : -1; };
        const bool edge = foreign ? kIntegrationPoint.count(name) > 0 : kScopeEdge.count(name) > 0;
        const bool tableEdge = edge && !(kTablePart.count(name) && name != "table");
        Entry e{name,    foreign ? "f:" + name : htmlKey(name),
                foreign, foreign && !kIntegrationPoint.count(name),
                0,       0,
                0,       0,
                0,       0};
        e.special = nearest(foreign ? edge : kSpecial.count(name) > 0, &Entry::special);
        e.scopeEdge = nearest(edge, &Entry::scopeEdge);
        e.tableEdge = nearest(tableEdge, &Entry::tableEdge);
        e.listEdge = nearest(edge || (!foreign && (name == "ol" || name == "ul")), &Entry::listEdge);
        e.buttonEdge = nearest(edge || (!foreign && name == "button"), &Entry::buttonEdge);
        e.html = nearest(!foreign, &Entry::html);
        m_open[e.key].push_back(index);
        m_stack.push_back(std::move(e));
    }
    void pop()
    {
        const auto at = m_open.find(m_stack.back().key);
        at->second.pop_back();
        if (at->second.empty())
            m_open.erase(at); // so the map holds no more names than are open
        m_stack.pop_back();
    }
    void popTo(int index)
    {
        while (int(m_stack.size()) > index)
            pop();
    }

    int m_limit;
    std::vector<Entry> m_stack;
    std::unordered_map<std::string, std::vector<int>> m_open;
    std::unordered_map<std::string, int> m_formatting;
    int m_formattingOpen = 0;
    bool m_lastForeign = false;
    bool m_formOpen = false;
};

} // namespace

// Where the page nests deeper than `limit`, has a tag with too many attributes or asks
// the parser for more work than `workPerByte` allows, as far as a scan of its tags tells.
// The parser's work is about the depth for every byte (text below formatting elements
// searches the open elements at each character, end tags walk them).
Refusal ScanTags(const QByteArray &bytes, int limit, qint64 workPerByte)
{
    const char *b = bytes.constData();
    const qsizetype n = bytes.size();
    NestingEstimate nesting(limit);
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; };
    auto find = [&](qsizetype from, const char *what) {
        const qsizetype at = std::string_view(b, size_t(n)).find(what, size_t(std::min(from, n)));
        return at == qsizetype(std::string_view::npos) ? qsizetype(-1) : at;
    };
    const qint64 budget = workPerByte * n + 16 * 1024 * 1024;
    qint64 work = 0;
    qsizetype counted = 0; // the work is counted up to here
    auto tooMuchWork = [&](qsizetype upTo) {
        work += qint64(nesting.depth()) * (upTo - counted);
        counted = upTo;
        return work > budget;
    };
    std::string name;
    std::unordered_set<std::string> noEnd;
    for (qsizetype i = find(0, "<"); i >= 0 && i + 1 < n; i = find(i, "<")) {
        const qsizetype at = i;
        if (tooMuchWork(at))
            return {at, Refusal::TooMuchWork};
        const char next = b[i + 1];
        if (next == '!' || next == '?' || (next == '/' && i + 2 < n && !isalpha(uchar(b[i + 2])))) {
            // A comment, doctype or bogus comment.
            const bool comment = next == '!' && i + 3 < n && b[i + 2] == '-' && b[i + 3] == '-';
            const qsizetype end = comment ? find(i + 4, "-->") : find(i + 2, ">");
            if (end < 0)
                break;
            i = end + 1;
            continue;
        }
        const bool closing = next == '/';
        qsizetype j = i + (closing ? 2 : 1);
        if (!isalpha(uchar(b[j]))) {
            i = j;
            continue;
        }
        name.clear();
        while (j < n && !isSpace(b[j]) && b[j] != '/' && b[j] != '>')
            name += char(tolower(uchar(b[j++])));
        // The attributes, quoted values included, up to the tag's end.
        bool selfClosing = false, ended = false;
        int attributes = 0;
        while (j < n) {
            const char c = b[j];
            if (c == '>') {
                ended = true;
                break;
            }
            if (isSpace(c) || c == '/') {
                selfClosing = c == '/' && j + 1 < n && b[j + 1] == '>';
                ++j;
                continue;
            }
            if (++attributes > kMaxAttributes)
                return {at, Refusal::TooManyAttributes};
            while (j < n && !isSpace(b[j]) && b[j] != '/' && b[j] != '>' && b[j] != '=')
                ++j;
            while (j < n && isSpace(b[j]))
                ++j;
            if (j < n && b[j] == '=') {
                ++j;
                while (j < n && isSpace(b[j]))
                    ++j;
                if (j < n && (b[j] == '"' || b[j] == '\'')) {
                    const char *close = static_cast<const char *>(memchr(b + j + 1, b[j], size_t(n - j - 1)));
                    if (!close)
                        break; // the rest of the page is in this tag
                    j = close - b + 1;
                } else {
                    while (j < n && !isSpace(b[j]) && b[j] != '>')
                        ++j;
                }
            }
        }
        if (!ended)
            break;
        i = j + 1;
        if (closing) {
            nesting.end(name);
            continue;
        }
        if (nesting.start(name, selfClosing))
            return {at, Refusal::TooDeep};
        if (nesting.lastForeign() || !nesting.rawTextTaken(name))
            continue; // SVG's <style> and <script> hold elements
        if (kRawText.count(name)) {
            // Up to the element's end tag, in any letter case; without one, the tags after
            // are looked at as tags, which can only make the page seem deeper.
            // (Once an end tag is not found, it is not looked for again.)
            qsizetype e = noEnd.count(name) ? -1 : find(i, "</");
            for (; e >= 0; e = find(e + 2, "</"))
                if (e + 2 + qsizetype(name.size()) <= n &&
                    qstrnicmp(b + e + 2, name.data(), name.size()) == 0)
                    break;
            if (e >= 0)
                i = e;
            else
                noEnd.insert(name);
        }
    }
    if (tooMuchWork(n))
        return {counted, Refusal::TooMuchWork};
    return {};
}

} // namespace check
