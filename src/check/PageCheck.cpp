#include "check/PageCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <algorithm>
#include <array>
#include <chrono>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <gumbo.h>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace check {
namespace {

// Line and column of a byte offset, columns counted in characters as an editor shows them
// (UTF-16 units of UTF-8 text). Every kStep bytes a checkpoint keeps the line number, the
// start of that line and the characters so far, so a look-up reads at most kStep bytes
// whatever the length of the line.
class LineIndex {
public:
    explicit LineIndex(const QByteArray &bytes) : m_bytes(bytes)
    {
        const auto *b = reinterpret_cast<const uchar *>(bytes.constData());
        Checkpoint c;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            if (i % kStep == 0)
                m_checkpoints.push_back(c);
            c.chars += units(b[i]);
            if (b[i] == '\n') {
                ++c.line;
                c.lineStart = i + 1;
                c.lineChars = c.chars;
            }
        }
        m_checkpoints.push_back(c);
    }
    std::pair<int, int> at(qsizetype offset) const
    {
        offset = std::clamp<qsizetype>(offset, 0, m_bytes.size());
        const auto *b = reinterpret_cast<const uchar *>(m_bytes.constData());
        Checkpoint c = m_checkpoints[size_t(offset / kStep)];
        for (qsizetype i = offset / kStep * kStep; i < offset; ++i) {
            c.chars += units(b[i]);
            if (b[i] == '\n') {
                ++c.line;
                c.lineStart = i + 1;
                c.lineChars = c.chars;
            }
        }
        // A CR before the place belongs to the line's end, not to its text.
        const qint64 cr = offset > c.lineStart && b[offset - 1] == '\r' ? 1 : 0;
        return {int(c.line), int(c.chars - c.lineChars - cr) + 1};
    }

private:
    static constexpr qsizetype kStep = 256;
    struct Checkpoint {
        qint64 line = 1, lineStart = 0, lineChars = 0, chars = 0;
    };
    // UTF-16 units a byte adds: continuation bytes none, lead bytes of 4 two, any other
    // byte one (on text that is not UTF-8 a column is near, not exact).
    static int units(uchar c) { return (c & 0xC0) == 0x80 ? 0 : c >= 0xF0 && c <= 0xF4 ? 2 : 1; }
    const QByteArray &m_bytes;
    std::vector<Checkpoint> m_checkpoints;
};

// One file whose text findings point into: the page or a style sheet.
struct Source {
    QString path;
    QByteArray bytes;
    std::unique_ptr<LineIndex> index;
    QString folder;
};

enum class Kind {
    Link,    // followed by the reader: an <a> or <area>
    Resource // loaded with the page: pictures, style sheets, scripts, url() in CSS
};

const QStringList kBlockNames = {"PAGE_DATA_TESTIMONIAL_1",
                                 "PAGE_DATA_TESTIMONIAL_2",
                                 "PAGE_DATA_IMAGE",
                                 "PAGE_DATA_FAQ",
                                 "PAGE_DATA_FEATURES",
                                 "PAGE_DATA_TRY",
                                 "PAGE_DATA_TRY_REQUIREMENTS",
                                 "PAGE_DATA_TRY_PROBLEMS",
                                 "PAGE_DATA_NOT_CONVINCED"};

// Attributes whose value is an address a browser follows or loads.
const std::unordered_set<std::string_view> kAddressAttributes = {
    "href", "src",        "action",   "formaction", "poster", "data",   "background", "cite",
    "ping", "xlink:href", "codebase", "longdesc",   "lowsrc", "dynsrc", "manifest",   "icon"};

const QStringList kPictureSuffixes = {"png", "jpg", "jpeg", "gif", "webp", "svg", "avif", "bmp", "ico"};

// The HTML5 parser's time grows with the square of the nesting depth and with the square
// of a tag's attribute count, so pages where either runs away are refused before
// parsing. The depth is estimated by replaying the tags the way the tree builder treats
// them: every element that does not close itself stays open (a "/>" only closes in SVG
// and MathML, an end tag without a matching open element closes nothing, and an end tag
// closes only what the tree builder would), and formatting elements closed by another
// element's end tag still count, since the builder reopens them. The estimate never
// falls below the real depth on the usual shapes and stays near it on real pages; the
// real depth is measured again on the parsed tree.
struct Refusal {
    qsizetype offset = -1;
    enum { None, TooDeep, TooManyAttributes, TooMuchWork } why = None;
};

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
constexpr int kMaxAttributes = 200;

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

// Where the page nests deeper than `limit`, has a tag with too many attributes or asks
// the parser for more work than `workPerByte` allows, as far as a scan of its tags tells.
// The parser's work is about the depth for every byte (text below formatting elements
// searches the open elements at each character, end tags walk them).
Refusal scanTags(const QByteArray &bytes, int limit, qint64 workPerByte)
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

// The parser's memory, handed out from large blocks and dropped at once (which also
// spares the parser's recursive teardown), within a budget of bytes and of time. When
// the budget runs out the parse is abandoned by a jump back to parseWithin(): the parser
// is C, owns nothing outside the arena and holds no global state.
class ParseArena {
public:
    ParseArena(qint64 byteBudget, std::chrono::steady_clock::duration timeBudget)
        : m_budget(byteBudget), m_deadline(std::chrono::steady_clock::now() + timeBudget)
    {
    }
    ~ParseArena()
    {
        while (m_blocks) {
            void *next = *static_cast<void **>(m_blocks);
            std::free(m_blocks);
            m_blocks = next;
        }
    }
    ParseArena(const ParseArena &) = delete;
    ParseArena &operator=(const ParseArena &) = delete;

    // The page's tree, or nullptr when the budget ran out.
    GumboOutput *parseWithin(const QByteArray &page)
    {
        GumboOptions options = kGumboDefaultOptions;
        options.max_errors = 0; // the parse errors are not reported: keep no list of them
        options.allocator = &ParseArena::allocate;
        options.deallocator = &ParseArena::release;
        options.userdata = this;
        if (setjmp(m_escape) != 0)
            return nullptr;
        return gumbo_parse_with_options(&options, page.constData(), size_t(page.size()));
    }

private:
    // Sizes up to kSmall go in classes 8 bytes apart (the parser needs no wider
    // alignment), larger ones in powers of two; a header before each block keeps its
    // class so freed blocks are reused.
    static constexpr size_t kSmall = 512, kHeader = 8, kBlockBytes = 1 << 20;
    static size_t classOf(size_t size)
    {
        if (size <= kSmall)
            return (size + 7) / 8;
        size_t c = kSmall / 8 + 1, capacity = kSmall * 2;
        while (capacity < size) {
            capacity *= 2;
            ++c;
        }
        return c;
    }
    static size_t capacityOf(size_t c) { return c <= kSmall / 8 ? c * 8 : kSmall << (c - kSmall / 8); }

    static void *allocate(void *userdata, size_t size)
    {
        auto *arena = static_cast<ParseArena *>(userdata);
        if ((++arena->m_calls & 1023) == 0 && std::chrono::steady_clock::now() > arena->m_deadline)
            std::longjmp(arena->m_escape, 1);
        if (size > (size_t(1) << 40))
            std::longjmp(arena->m_escape, 1);
        const size_t c = classOf(std::max<size_t>(size, 1));
        if (arena->m_free[c]) {
            void *block = arena->m_free[c];
            arena->m_free[c] = *static_cast<void **>(block);
            return block;
        }
        const size_t need = kHeader + capacityOf(c);
        char *at;
        if (need > kBlockBytes / 4) {
            at = static_cast<char *>(arena->obtain(need));
        } else {
            if (arena->m_left < need) {
                arena->m_next = static_cast<char *>(arena->obtain(kBlockBytes));
                arena->m_left = kBlockBytes;
            }
            at = arena->m_next;
            arena->m_next += need;
            arena->m_left -= need;
        }
        *reinterpret_cast<size_t *>(at) = c;
        return at + kHeader;
    }
    static void release(void *userdata, void *block)
    {
        if (!block)
            return;
        auto *arena = static_cast<ParseArena *>(userdata);
        const size_t c = *reinterpret_cast<size_t *>(static_cast<char *>(block) - kHeader);
        *static_cast<void **>(block) = arena->m_free[c];
        arena->m_free[c] = block;
    }
    // Blocks are chained through their first bytes, so keeping them allocates nothing.
    void *obtain(size_t bytes)
    {
        m_used += qint64(bytes);
        void *block = m_used > m_budget ? nullptr : std::malloc(kHeader + bytes);
        if (!block)
            std::longjmp(m_escape, 1);
        *static_cast<void **>(block) = m_blocks;
        m_blocks = block;
        return static_cast<char *>(block) + kHeader;
    }

    std::jmp_buf m_escape;
    qint64 m_budget, m_used = 0;
    std::chrono::steady_clock::time_point m_deadline;
    unsigned m_calls = 0;
    void *m_blocks = nullptr;
    std::array<void *, 128> m_free{}; // a free list per class
    char *m_next = nullptr;
    size_t m_left = 0;
};

QString attribute(const GumboElement &e, const char *name)
{
    const GumboAttribute *a = gumbo_get_attribute(&e.attributes, name);
    return a ? QString::fromUtf8(a->value) : QString();
}
bool hasAttribute(const GumboElement &e, const char *name)
{
    return gumbo_get_attribute(&e.attributes, name) != nullptr;
}

// A host that stands for no real site: reserved for examples and documentation.
bool isPlaceholderHost(QString host)
{
    host = host.toLower();
    if (host.endsWith(QLatin1Char('.')))
        host.chop(1);
    for (const char *domain : {"example.com", "example.org", "example.net"})
        if (host == QLatin1String(domain) || host.endsWith(QLatin1Char('.') + QLatin1String(domain)))
            return true;
    for (const char *tld : {"invalid", "example"})
        if (host == QLatin1String(tld) || host.endsWith(QLatin1Char('.') + QLatin1String(tld)))
            return true;
    return false;
}

QString collapsedText(const GumboNode *node)
{
    QString text;
    std::vector<const GumboNode *> stack{node};
    while (!stack.empty()) {
        const GumboNode *n = stack.back();
        stack.pop_back();
        if (n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_WHITESPACE || n->type == GUMBO_NODE_CDATA) {
            text += QString::fromUtf8(n->v.text.text);
        } else if (n->type == GUMBO_NODE_ELEMENT || n->type == GUMBO_NODE_TEMPLATE) {
            const GumboVector &c = n->v.element.children;
            for (unsigned i = c.length; i > 0; --i)
                stack.push_back(static_cast<const GumboNode *>(c.data[i - 1]));
        }
    }
    return text.simplified();
}

// Whether an element says something by itself: it is a picture, or it has a label.
// Its text is looked at by the walk.
bool saysByItself(const GumboElement &e)
{
    if (e.tag == GUMBO_TAG_IMG || e.tag == GUMBO_TAG_SVG || e.tag == GUMBO_TAG_CANVAS ||
        e.tag == GUMBO_TAG_VIDEO)
        return true;
    for (const char *label : {"aria-label", "aria-labelledby", "title"})
        if (!attribute(e, label).trimmed().isEmpty())
            return true;
    return e.tag == GUMBO_TAG_INPUT && !attribute(e, "value").trimmed().isEmpty();
}

// The first element nested deeper than `limit`, or nullptr.
const GumboNode *nestedDeeperThan(const GumboNode *root, int limit)
{
    std::vector<std::pair<const GumboNode *, int>> stack{{root, 1}};
    while (!stack.empty()) {
        const auto [n, depth] = stack.back();
        stack.pop_back();
        if (n->type != GUMBO_NODE_ELEMENT && n->type != GUMBO_NODE_TEMPLATE)
            continue;
        if (depth > limit)
            return n;
        const GumboVector &c = n->v.element.children;
        for (unsigned i = c.length; i > 0; --i)
            stack.push_back({static_cast<const GumboNode *>(c.data[i - 1]), depth + 1});
    }
    return nullptr;
}

// What the address of a link or resource would do in a browser: the scheme as browsers
// read it (blanks and control characters at the start skipped, tabs and line breaks
// anywhere dropped), lower case, or empty when there is none.
QString schemeOf(const QString &url)
{
    QString scheme;
    qsizetype i = 0;
    while (i < url.size() && url[i].unicode() <= 0x20)
        ++i;
    for (; i < url.size() && scheme.size() < 16; ++i) {
        const char16_t c = url[i].unicode();
        if (c == '\t' || c == '\n' || c == '\r')
            continue;
        if (c == ':')
            return scheme;
        if (!(isalnum(c) && c < 0x80) && c != '+' && c != '-' && c != '.')
            return {};
        scheme += QChar(c).toLower();
    }
    return {};
}

class Checker {
public:
    Checker(const QString &pagePath, qint64 maxBytes) : m_maxBytes(maxBytes) { m_report.page = pagePath; }

    Report run()
    {
        const QString pagePath = m_report.page;
        QFile file(pagePath);
        if (!QFileInfo(pagePath).isFile() || !file.open(QIODevice::ReadOnly)) {
            m_report.findings.push_back({pagePath, 1, 1, Severity::Error, QStringLiteral("page-unreadable"),
                                         QStringLiteral("The page cannot be read")});
            return m_report;
        }
        m_page.path = pagePath;
        m_page.folder = QFileInfo(pagePath).absolutePath();
        const bool tooLarge = file.size() > m_maxBytes;
        if (!tooLarge)
            m_page.bytes = file.read(file.size()); // what it held when looked at, should it grow
        m_page.index = std::make_unique<LineIndex>(m_page.bytes);
        if (tooLarge) {
            add(m_page, 0, Severity::Error, QStringLiteral("too-large"),
                QStringLiteral("The page is %1, over the limit of %2; it was not checked")
                    .arg(sizeText(file.size()), sizeText(m_maxBytes)));
            return sorted();
        }
        m_weight = m_page.bytes.size();
        m_counted.insert(key(pagePath));
        readFileList(pagePath + QStringLiteral(".files"));

        findPlaceholders();
        // Twice the limit: the estimate runs ahead of the real depth on some pages. A
        // hundred steps a byte are about a fifth of a second a megabyte.
        const Refusal refused = scanTags(m_page.bytes, 2 * kMaxNesting, 100);
        if (refused.why == Refusal::TooDeep)
            tooDeep(refused.offset);
        else if (refused.why == Refusal::TooManyAttributes)
            add(m_page, refused.offset, Severity::Error, QStringLiteral("too-complex"),
                QStringLiteral("The tag has more than %1 attributes; the page was not checked")
                    .arg(kMaxAttributes));
        else if (refused.why == Refusal::TooMuchWork)
            add(m_page, refused.offset, Severity::Error, QStringLiteral("too-complex"),
                QStringLiteral("Elements nest so deep over so much of the page that it cannot be checked in "
                               "time; the page was not checked"));
        if (refused.why != Refusal::None)
            return sorted();
        // The parser's tree takes about 15 times the page on dense markup, and a fraction
        // of a second per megabyte.
        ParseArena arena(16 * qint64(m_page.bytes.size()) + 32 * 1024 * 1024,
                         std::chrono::milliseconds(1000 + m_page.bytes.size() / 3000));
        const GumboOutput *output = arena.parseWithin(m_page.bytes);
        if (!output) {
            add(m_page, 0, Severity::Error, QStringLiteral("too-complex"),
                QStringLiteral("The page is too complex to check in the time and memory allowed; it was not "
                               "checked"));
            return sorted();
        }
        if (const GumboNode *deep = nestedDeeperThan(output->root, kMaxNesting)) {
            tooDeep(deep->v.element.start_pos.offset);
            return sorted();
        }
        walk(output->root);
        finishHead();
        for (const auto &[fragment, offset] : m_anchorLinks) {
            if (!m_ids.contains(fragment))
                add(m_page, offset, Severity::Warning, QStringLiteral("broken-anchor"),
                    QStringLiteral("No element of the page has the id \"%1\"").arg(fragment));
        }
        if (m_weight > kMaxPageBytes)
            add(m_page, 0, Severity::Warning, QStringLiteral("page-weight"),
                QStringLiteral("The page and its files weigh %1 KB, over %2 KB: slow on a phone")
                    .arg((m_weight + 1023) / 1024)
                    .arg(kMaxPageBytes / 1024));

        return sorted();
    }

private:
    static QString sizeText(qint64 bytes)
    {
        return bytes >= 10 * 1024 * 1024 ? QStringLiteral("%1 MB").arg(bytes / (1024 * 1024))
                                         : QStringLiteral("%1 bytes").arg(bytes);
    }

    void tooDeep(qsizetype offset)
    {
        add(m_page, offset, Severity::Error, QStringLiteral("too-deep"),
            QStringLiteral(
                "Elements nest more than %1 deep here, more than browsers follow; the page was not "
                "checked")
                .arg(kMaxNesting));
    }

    Report sorted()
    {
        for (const Overflow &o : m_overflows)
            m_report.findings.push_back(
                {o.source->path, o.line, o.column, o.severity, o.rule,
                 QStringLiteral("%1 more findings like this are not listed").arg(o.count)});
        const QString pagePath = m_report.page;
        std::stable_sort(m_report.findings.begin(), m_report.findings.end(),
                         [&](const Finding &a, const Finding &b) {
                             const bool pa = a.file == pagePath, pb = b.file == pagePath;
                             if (pa != pb)
                                 return pa;
                             if (a.file != b.file)
                                 return a.file < b.file;
                             return std::pair(a.line, a.column) < std::pair(b.line, b.column);
                         });
        return m_report;
    }

    static QString key(const QString &path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

    // Past kMaxFindingsPerRule findings of a rule, the rest are only counted: a page made
    // of faults would otherwise give a report larger than itself.
    void add(const Source &source, qsizetype offset, Severity severity, const QString &rule,
             const QString &message)
    {
        const auto [line, column] = source.index->at(offset);
        int &count = m_perRule[rule];
        if (++count <= kMaxFindingsPerRule) {
            m_report.findings.push_back({source.path, line, column, severity, rule, message});
            return;
        }
        if (count == kMaxFindingsPerRule + 1)
            m_overflows.push_back({&source, line, column, severity, rule, 0});
        for (Overflow &o : m_overflows)
            if (o.rule == rule)
                ++o.count;
    }

    void readFileList(const QString &listPath)
    {
        QFile list(listPath);
        m_haveList = list.open(QIODevice::ReadOnly);
        if (m_haveList && list.size() > m_maxBytes) {
            add(m_page, 0, Severity::Error, QStringLiteral("too-large"),
                QStringLiteral("The file list %1 is %2, over the limit of %3; it was not read")
                    .arg(QFileInfo(listPath).fileName(), sizeText(list.size()), sizeText(m_maxBytes)));
            return;
        }
        if (!m_haveList) {
            add(m_page, 0, Severity::Warning, QStringLiteral("no-file-list"),
                QStringLiteral("There is no file list %1: only the page itself would be published")
                    .arg(QFileInfo(listPath).fileName()));
            return;
        }
        for (const QByteArray &raw : list.read(list.size()).split('\n')) {
            const QString line = QString::fromLocal8Bit(raw).trimmed();
            if (!line.isEmpty() && !line.startsWith(QLatin1String("::")))
                m_listed.insert(key(line));
        }
    }

    // Placeholders are looked for in the text itself: a parser would take them for elements.
    void findPlaceholders()
    {
        const QByteArray &b = m_page.bytes;
        for (qsizetype at = b.indexOf('<'); at >= 0; at = b.indexOf('<', at + 1)) {
            qsizetype i = at + 1;
            if (i < b.size() && b[i] == '/')
                ++i;
            if (i + 4 > b.size() || qstrnicmp(b.constData() + i, "ZOR_", 4) != 0)
                continue;
            qsizetype end = i + 4;
            while (end < b.size() && (isalnum(uchar(b[end])) || b[end] == '_'))
                ++end;
            const QString name = QString::fromLatin1(b.mid(i + 4, end - i - 4)).toUpper();
            if (kBlockNames.contains(name) && end < b.size() && b[end] == '>')
                continue; // the markers of the repeated and optional blocks stay by design
            add(m_page, at, Severity::Error, QStringLiteral("placeholder-left"),
                QStringLiteral("The placeholder %1 was not filled")
                    .arg(QString::fromLatin1(b.mid(at, end - at + (end < b.size() && b[end] == '>')))));
        }
    }

    // Offset of an attribute's value in the page (after its quote), or of its element.
    qsizetype valueOffset(const GumboElement &e, const GumboAttribute *a) const
    {
        const char *data = a->original_value.data;
        const char *begin = m_page.bytes.constData();
        if (data && data >= begin && data < begin + m_page.bytes.size()) {
            qsizetype offset = data - begin;
            if (*data == '"' || *data == '\'')
                ++offset;
            return offset;
        }
        return e.start_pos.offset;
    }

    // Looks at one address found in `source` at `offset`.
    void reference(const Source &source, qsizetype offset, QString url, Kind kind, bool stylesheet = false)
    {
        url = url.trimmed();
        if (url.isEmpty())
            return;
        if (url.startsWith(QLatin1Char('#'))) {
            if (kind == Kind::Link && &source == &m_page) {
                const QString fragment = QUrl::fromPercentEncoding(url.mid(1).toUtf8());
                if (!fragment.isEmpty() && fragment.compare(QLatin1String("top"), Qt::CaseInsensitive) != 0)
                    m_anchorLinks.push_back({fragment, offset});
            }
            return;
        }
        static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):"));
        const auto m = scheme.match(url);
        const QString lowerScheme = m.hasMatch() ? m.captured(1).toLower() : QString();
        if (url.startsWith(QLatin1String("//")) || lowerScheme == QLatin1String("http") ||
            lowerScheme == QLatin1String("https") || lowerScheme == QLatin1String("ftp")) {
            const QUrl parsed(url.startsWith(QLatin1String("//")) ? QStringLiteral("https:") + url : url);
            if (isPlaceholderHost(parsed.host()))
                add(source, offset, Severity::Warning, QStringLiteral("placeholder-address"),
                    QStringLiteral("%1 points to a placeholder address: %2")
                        .arg(kind == Kind::Link ? QStringLiteral("The link") : QStringLiteral("The resource"),
                             url));
            if (kind == Kind::Resource && lowerScheme == QLatin1String("http"))
                add(source, offset, Severity::Warning, QStringLiteral("insecure-resource"),
                    QStringLiteral("The resource is loaded over plain http, which browsers block on secure "
                                   "pages: %1")
                        .arg(url));
            return;
        }
        if (lowerScheme == QLatin1String("mailto")) {
            const QString address =
                QUrl::fromPercentEncoding(url.mid(7).section(QLatin1Char('?'), 0, 0).toUtf8());
            if (isPlaceholderHost(address.section(QLatin1Char('@'), -1)))
                add(source, offset, Severity::Warning, QStringLiteral("placeholder-address"),
                    QStringLiteral("The link points to a placeholder address: %1").arg(url));
            return;
        }
        QString path;
        if (lowerScheme == QLatin1String("file")) {
            path = QUrl(url).toLocalFile();
        } else if (!lowerScheme.isEmpty() || url.startsWith(QLatin1Char('/'))) {
            return; // data:, tel:, javascript: …, and addresses from the site's root
        } else {
            const QString relative = QUrl::fromPercentEncoding(
                url.section(QLatin1Char('#'), 0, 0).section(QLatin1Char('?'), 0, 0).toUtf8());
            if (relative.isEmpty())
                return;
            path = QDir(source.folder).filePath(relative);
        }
        localFile(source, offset, url, path, stylesheet);
    }

    void localFile(const Source &source, qsizetype offset, const QString &url, const QString &path,
                   bool stylesheet)
    {
        const QFileInfo info(path);
        // A page may name one file many times (or a srcset thousands of names): one look each.
        auto known = m_files.find(path);
        if (known == m_files.end())
            known = m_files.insert(path, {info.isFile(), info.isFile() ? info.size() : 0});
        if (!known->isFile) {
            add(source, offset, Severity::Error, QStringLiteral("missing-file"),
                QStringLiteral("The file %1 does not exist").arg(url));
            return;
        }
        const QString k = key(path);
        if (m_haveList && !m_listed.contains(k))
            add(source, offset, Severity::Warning, QStringLiteral("not-listed"),
                QStringLiteral("%1 is not in the file list, so it would not be published").arg(url));
        const qint64 size = known->size;
        if (kPictureSuffixes.contains(info.suffix().toLower()) && size > kMaxPictureBytes)
            add(source, offset, Severity::Warning, QStringLiteral("large-picture"),
                QStringLiteral("The picture %1 is %2 KB, over %3 KB")
                    .arg(url)
                    .arg((size + 1023) / 1024)
                    .arg(kMaxPictureBytes / 1024));
        if (!m_counted.contains(k)) {
            m_counted.insert(k);
            m_weight += size;
            if (stylesheet || info.suffix().compare(QLatin1String("css"), Qt::CaseInsensitive) == 0)
                styleSheet(source, offset, url, path);
        }
    }

    void styleSheet(const Source &from, qsizetype offset, const QString &url, const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || m_sheets.size() > 200)
            return;
        if (file.size() > m_maxBytes) {
            add(from, offset, Severity::Error, QStringLiteral("too-large"),
                QStringLiteral("The style sheet %1 is %2, over the limit of %3; it was not checked")
                    .arg(url, sizeText(file.size()), sizeText(m_maxBytes)));
            return;
        }
        auto sheet = std::make_unique<Source>();
        sheet->path = path;
        sheet->bytes = file.read(file.size());
        sheet->index = std::make_unique<LineIndex>(sheet->bytes);
        sheet->folder = QFileInfo(path).absolutePath();
        const Source &s = *sheet;
        m_sheets.push_back(std::move(sheet));
        css(s, 0, s.bytes.size());
    }

    // url(…) and @import in CSS text between two offsets of a source.
    void css(const Source &source, qsizetype from, qsizetype to)
    {
        const QByteArray &b = source.bytes;
        // Searches end at `to`: a style attribute is not to send them through the whole page.
        const std::string_view text(b.constData(), size_t(to));
        auto find = [&](const char *what, qsizetype from) {
            const size_t at = text.find(what, size_t(from));
            return at == std::string_view::npos ? to : qsizetype(at);
        };
        auto at = [&](qsizetype i, const char *word) {
            const qsizetype n = qstrlen(word);
            return i + n <= to && qstrnicmp(b.constData() + i, word, n) == 0;
        };
        auto skipSpace = [&](qsizetype i) {
            while (i < to && isspace(uchar(b[i])))
                ++i;
            return i;
        };
        // A quoted string starting at i: its text's end (the closing quote, or `to`).
        auto stringEnd = [&](qsizetype i) {
            const char quote = b[i];
            qsizetype j = i + 1;
            while (j < to && b[j] != quote && b[j] != '\n')
                j += b[j] == '\\' ? 2 : 1;
            return std::min(j, to);
        };
        for (qsizetype i = from; i < to;) {
            const char c = b[i];
            if (c == '/' && at(i, "/*")) {
                const qsizetype end = find("*/", i + 2);
                i = end >= to ? to : end + 2;
            } else if (c == '"' || c == '\'') {
                i = stringEnd(i) + 1;
            } else if (c == '@' && at(i, "@import")) {
                i = skipSpace(i + 7);
                if (i < to && (b[i] == '"' || b[i] == '\'')) {
                    const qsizetype end = stringEnd(i);
                    reference(source, i + 1, QString::fromUtf8(b.mid(i + 1, end - i - 1)), Kind::Resource,
                              true);
                    i = end + 1;
                }
            } else if ((c == 'u' || c == 'U') && at(i, "url(") &&
                       (i == from || !(isalnum(uchar(b[i - 1])) || b[i - 1] == '-' || b[i - 1] == '_'))) {
                i = skipSpace(i + 4);
                qsizetype start = i, end;
                if (i < to && (b[i] == '"' || b[i] == '\'')) {
                    start = i + 1;
                    end = stringEnd(i);
                    i = end + 1;
                } else {
                    end = find(")", i);
                    i = end;
                }
                reference(source, start, QString::fromUtf8(b.mid(start, end - start)), Kind::Resource);
            } else {
                ++i;
            }
        }
    }

    void element(const GumboNode *node)
    {
        const GumboElement &e = node->v.element;
        const qsizetype start = e.start_pos.offset;
        for (unsigned i = 0; i < e.attributes.length; ++i) {
            const auto *a = static_cast<const GumboAttribute *>(e.attributes.data[i]);
            const QByteArray name(a->name);
            const QString value = QString::fromUtf8(a->value);
            if (name.size() > 2 && name.startsWith("on")) {
                add(m_page, valueOffset(e, a), Severity::Error, QStringLiteral("inline-handler"),
                    QStringLiteral("The attribute %1 runs script in the reader's browser")
                        .arg(QString::fromUtf8(name)));
                continue;
            }
            if (kAddressAttributes.count(name.constData()) && unsafeAddress(e, name, value)) {
                add(m_page, valueOffset(e, a), Severity::Error, QStringLiteral("unsafe-link"),
                    QStringLiteral("The address runs script or shows content made up in the page: %1")
                        .arg(value.trimmed().left(80)));
                continue;
            }
            if (name == "id" || (name == "name" && e.tag == GUMBO_TAG_A))
                m_ids.insert(value);
            else if (name == "style")
                css(m_page, valueOffset(e, a), valueOffset(e, a) + qsizetype(a->original_value.length));
            else if (name == "src" || name == "poster" || (name == "data" && e.tag == GUMBO_TAG_OBJECT))
                reference(m_page, valueOffset(e, a), value, Kind::Resource);
            else if (name == "srcset")
                srcset(e, a, value);
            else if (name == "href")
                href(e, a, value);
        }
        switch (e.tag) {
        case GUMBO_TAG_TITLE:
            if (!m_titleSeen && e.tag_namespace == GUMBO_NAMESPACE_HTML) {
                m_titleSeen = true;
                const QString title = collapsedText(node);
                if (title.isEmpty())
                    add(m_page, start, Severity::Error, QStringLiteral("empty-title"),
                        QStringLiteral("The page's title is empty"));
                else if (title.size() > kMaxTitleLength)
                    add(m_page, start, Severity::Warning, QStringLiteral("title-length"),
                        QStringLiteral("The title is %1 characters long; search results show about %2")
                            .arg(title.size())
                            .arg(kMaxTitleLength));
            }
            break;
        case GUMBO_TAG_META: {
            const QString name = attribute(e, "name").toLower();
            const QString property = attribute(e, "property").toLower();
            if (name == QLatin1String("description") && !m_descriptionSeen) {
                m_descriptionSeen = true;
                const QString text = attribute(e, "content").simplified();
                if (text.isEmpty())
                    add(m_page, start, Severity::Warning, QStringLiteral("meta-description"),
                        QStringLiteral("The page's description is empty"));
                else if (text.size() > kMaxDescriptionLength)
                    add(m_page, start, Severity::Warning, QStringLiteral("meta-description"),
                        QStringLiteral("The description is %1 characters long; search results show about %2")
                            .arg(text.size())
                            .arg(kMaxDescriptionLength));
            }
            // Link previews load these pictures; og:url is where a shared link leads.
            const GumboAttribute *content = gumbo_get_attribute(&e.attributes, "content");
            if (content && (property == QLatin1String("og:image") || name == QLatin1String("twitter:image")))
                reference(m_page, valueOffset(e, content), QString::fromUtf8(content->value), Kind::Resource);
            else if (content && property == QLatin1String("og:url"))
                reference(m_page, valueOffset(e, content), QString::fromUtf8(content->value), Kind::Link);
            break;
        }
        case GUMBO_TAG_HEAD:
            if (m_headOffset < 0)
                m_headOffset = e.original_tag.length ? start : 0;
            break;
        case GUMBO_TAG_IMG:
            if (!hasAttribute(e, "alt"))
                add(m_page, start, Severity::Warning, QStringLiteral("img-alt"),
                    QStringLiteral("The picture has no alt text for readers who cannot see it"));
            break;
        case GUMBO_TAG_STYLE:
            for (unsigned i = 0; i < e.children.length; ++i) {
                const auto *child = static_cast<const GumboNode *>(e.children.data[i]);
                if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE) {
                    const qsizetype from = child->v.text.start_pos.offset;
                    css(m_page, from, from + qsizetype(child->v.text.original_text.length));
                }
            }
            break;
        default:
            break;
        }
    }

    void href(const GumboElement &e, const GumboAttribute *a, const QString &value)
    {
        if (e.tag == GUMBO_TAG_A || e.tag == GUMBO_TAG_AREA) {
            reference(m_page, valueOffset(e, a), value, Kind::Link);
        } else if (e.tag == GUMBO_TAG_LINK) {
            const QString rel = attribute(e, "rel").toLower();
            static const QRegularExpression loaded(
                QStringLiteral(R"(\b(stylesheet|icon|preload|modulepreload|manifest|apple-touch-icon)\b)"));
            const bool isSheet =
                rel.split(QLatin1Char(' '), Qt::SkipEmptyParts).contains(QLatin1String("stylesheet"));
            reference(m_page, valueOffset(e, a), value,
                      loaded.match(rel).hasMatch() ? Kind::Resource : Kind::Link, isSheet);
        } else if (e.tag != GUMBO_TAG_BASE) {
            reference(m_page, valueOffset(e, a), value, Kind::Resource); // e.g. an SVG <use>
        }
    }

    void srcset(const GumboElement &e, const GumboAttribute *a, const QString &value)
    {
        const qsizetype base = valueOffset(e, a);
        const QByteArray original(a->original_value.data, int(a->original_value.length));
        const qsizetype rawStart = base - (original.startsWith('"') || original.startsWith('\'') ? 1 : 0);
        qsizetype searchFrom = 0; // the candidates come in order: each is looked for after the last
        for (const QString &candidate : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString url = candidate.trimmed().section(QLatin1Char(' '), 0, 0);
            const QByteArray bytes = url.toUtf8();
            const qsizetype inOriginal = original.indexOf(bytes, searchFrom);
            if (inOriginal >= 0)
                searchFrom = inOriginal + bytes.size();
            reference(m_page, inOriginal >= 0 ? rawStart + inOriginal : base, url, Kind::Resource);
        }
    }

    // Every element in document order; a link or button is judged when its content has
    // been seen, so the whole walk reads each node once.
    void walk(const GumboNode *root)
    {
        struct Open {
            const GumboNode *node;
            unsigned next;
            bool says; // it or its content has text, a label or a picture
        };
        std::vector<Open> open;
        auto enter = [&](const GumboNode *n) {
            element(n);
            open.push_back({n, 0, saysByItself(n->v.element)});
        };
        enter(root);
        while (!open.empty()) {
            Open &top = open.back();
            const GumboVector &children = top.node->v.element.children;
            if (top.next < children.length) {
                const auto *child = static_cast<const GumboNode *>(children.data[top.next++]);
                if (child->type == GUMBO_NODE_ELEMENT || child->type == GUMBO_NODE_TEMPLATE)
                    enter(child);
                else if ((child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_CDATA) && !top.says)
                    top.says = !QString::fromUtf8(child->v.text.text).trimmed().isEmpty();
                continue;
            }
            const Open done = top;
            open.pop_back();
            const GumboElement &e = done.node->v.element;
            if (!done.says &&
                (e.tag == GUMBO_TAG_BUTTON || (e.tag == GUMBO_TAG_A && hasAttribute(e, "href"))))
                add(m_page, e.start_pos.offset, Severity::Error, QStringLiteral("empty-link"),
                    e.tag == GUMBO_TAG_A ? QStringLiteral("The link has no text and no picture")
                                         : QStringLiteral("The button has no text and no picture"));
            if (!open.empty())
                open.back().says = open.back().says || done.says;
        }
    }

    void finishHead()
    {
        const qsizetype at = qMax<qsizetype>(0, m_headOffset);
        if (!m_titleSeen)
            add(m_page, at, Severity::Error, QStringLiteral("empty-title"),
                QStringLiteral("The page has no title"));
        if (!m_descriptionSeen)
            add(m_page, at, Severity::Warning, QStringLiteral("meta-description"),
                QStringLiteral("The page has no description (<meta name=\"description\">) for search results "
                               "and link previews"));
    }

    // javascript: and vbscript: run script; data: makes up a document or a script in the
    // page, except as a picture (img, a video's poster, an icon), which cannot run script.
    static bool unsafeAddress(const GumboElement &e, const QByteArray &name, const QString &value)
    {
        const QString scheme = schemeOf(value);
        if (scheme == QLatin1String("javascript") || scheme == QLatin1String("vbscript"))
            return true;
        if (scheme != QLatin1String("data"))
            return false;
        const bool picture = (name == "src" && (e.tag == GUMBO_TAG_IMG || e.tag == GUMBO_TAG_SOURCE ||
                                                e.tag == GUMBO_TAG_INPUT)) ||
                             (name == "poster" && e.tag == GUMBO_TAG_VIDEO) ||
                             (name == "href" && e.tag == GUMBO_TAG_LINK &&
                              attribute(e, "rel").toLower().contains(QLatin1String("icon")));
        const QString type = value.mid(value.indexOf(QLatin1Char(':')) + 1).trimmed().toLower();
        return !(picture && type.startsWith(QLatin1String("image/")));
    }

    struct Overflow {
        const Source *source;
        int line, column;
        Severity severity;
        QString rule;
        int count;
    };

    struct FileFacts {
        bool isFile;
        qint64 size;
    };
    QHash<QString, FileFacts> m_files;
    qint64 m_maxBytes;
    QHash<QString, int> m_perRule;
    std::vector<Overflow> m_overflows;
    Report m_report;
    Source m_page;
    std::vector<std::unique_ptr<Source>> m_sheets;
    bool m_haveList = false;
    QSet<QString> m_listed;
    QSet<QString> m_counted;
    qint64 m_weight = 0;
    QSet<QString> m_ids;
    std::vector<std::pair<QString, qsizetype>> m_anchorLinks;
    bool m_titleSeen = false;
    bool m_descriptionSeen = false;
    qsizetype m_headOffset = -1;
};

QString severityName(Severity s)
{
    return s == Severity::Error ? QStringLiteral("error") : QStringLiteral("warning");
}

} // namespace

int Report::errors() const
{
    return int(std::count_if(findings.begin(), findings.end(),
                             [](const Finding &f) { return f.severity == Severity::Error; }));
}

int Report::warnings() const
{
    return int(findings.size()) - errors();
}

Report CheckPage(const QString &pagePath, qint64 maxBytes)
{
    return Checker(pagePath, maxBytes).run();
}

QString ToText(const Report &report)
{
    QString text;
    for (const Finding &f : report.findings)
        text += QStringLiteral("%1:%2:%3: %4: %5: %6\n")
                    .arg(f.file)
                    .arg(f.line)
                    .arg(f.column)
                    .arg(severityName(f.severity), f.rule, f.message);
    return text;
}

QByteArray ToJson(const Report &report)
{
    QJsonArray findings;
    for (const Finding &f : report.findings)
        findings.append(QJsonObject{{"file", f.file},
                                    {"rule", f.rule},
                                    {"severity", severityName(f.severity)},
                                    {"line", f.line},
                                    {"column", f.column},
                                    {"message", f.message}});
    return QJsonDocument(QJsonObject{{"page", report.page},
                                     {"errors", report.errors()},
                                     {"warnings", report.warnings()},
                                     {"findings", findings}})
        .toJson(QJsonDocument::Compact);
}

QVector<Report> PagesWithErrors(const QStringList &paths)
{
    QVector<Report> reports;
    for (const QString &path : paths) {
        const QString suffix = QFileInfo(path).suffix().toLower();
        if ((suffix != QLatin1String("htm") && suffix != QLatin1String("html")) ||
            !QFileInfo::exists(path + QStringLiteral(".files")))
            continue;
        Report report = CheckPage(path);
        if (report.errors() > 0)
            reports.push_back(std::move(report));
    }
    return reports;
}

QString SendAnywayQuestion(const QVector<Report> &pages)
{
    QString text;
    for (const Report &report : pages) {
        const auto first = std::find_if(report.findings.begin(), report.findings.end(),
                                        [](const Finding &f) { return f.severity == Severity::Error; });
        text += QStringLiteral("%1 has %2 %3, the first on line %4: %5\n")
                    .arg(QFileInfo(report.page).fileName())
                    .arg(report.errors())
                    .arg(report.errors() == 1 ? QStringLiteral("error") : QStringLiteral("errors"))
                    .arg(first->line)
                    .arg(first->message);
    }
    return text + QStringLiteral("\nThe \"Check\" command of the editor lists them all. Send anyway?");
}

} // namespace check
