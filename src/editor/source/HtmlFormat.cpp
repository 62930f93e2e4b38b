#include "editor/source/HtmlFormat.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <vector>

namespace textmodel {
namespace {

// The page is cut into tokens the way a browser's tokenizer cuts it; the text between
// two tokens (a gap) is the only thing ever rewritten, and only when it is blank.
enum class Kind {
    Start,   // a start tag
    End,     // an end tag
    Comment, // comments, doctypes, bogus comments, "</>": nothing a reader sees
    Raw,     // an element whose content is not markup (script, style, textarea...)
    Opaque,  // the rest of the page, which is kept as it is
};

struct Token {
    qsizetype begin = 0, end = 0;
    Kind kind = Kind::Comment;
    QString name; // lower-case tag name
};

bool isSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
           c == QLatin1Char('\r') || c == QLatin1Char('\f');
}

bool isAlpha(QChar c)
{
    const ushort u = c.unicode() | 0x20;
    return c.unicode() < 0x80 && u >= 'a' && u <= 'z';
}

// Elements a browser lays out as blocks by default: whitespace beside their tags is
// never shown.
const QSet<QString> &blockNames()
{
    static const QSet<QString> names = {
        QStringLiteral("address"),    QStringLiteral("article"),  QStringLiteral("aside"),
        QStringLiteral("blockquote"), QStringLiteral("body"),     QStringLiteral("caption"),
        QStringLiteral("center"),     QStringLiteral("col"),      QStringLiteral("colgroup"),
        QStringLiteral("dd"),         QStringLiteral("details"),  QStringLiteral("dialog"),
        QStringLiteral("dir"),        QStringLiteral("div"),      QStringLiteral("dl"),
        QStringLiteral("dt"),         QStringLiteral("fieldset"), QStringLiteral("figcaption"),
        QStringLiteral("figure"),     QStringLiteral("footer"),   QStringLiteral("form"),
        QStringLiteral("h1"),         QStringLiteral("h2"),       QStringLiteral("h3"),
        QStringLiteral("h4"),         QStringLiteral("h5"),       QStringLiteral("h6"),
        QStringLiteral("head"),       QStringLiteral("header"),   QStringLiteral("hgroup"),
        QStringLiteral("hr"),         QStringLiteral("html"),     QStringLiteral("legend"),
        QStringLiteral("li"),         QStringLiteral("listing"),  QStringLiteral("main"),
        QStringLiteral("menu"),       QStringLiteral("nav"),      QStringLiteral("ol"),
        QStringLiteral("p"),          QStringLiteral("pre"),      QStringLiteral("section"),
        QStringLiteral("summary"),    QStringLiteral("table"),    QStringLiteral("tbody"),
        QStringLiteral("td"),         QStringLiteral("tfoot"),    QStringLiteral("th"),
        QStringLiteral("thead"),      QStringLiteral("tr"),       QStringLiteral("ul")};
    return names;
}

// Elements that are never shown: they may stand on a line of their own next to a block.
bool isHidden(const QString &name)
{
    static const QSet<QString> names = {QStringLiteral("script"),   QStringLiteral("style"),
                                        QStringLiteral("title"),    QStringLiteral("noscript"),
                                        QStringLiteral("template"), QStringLiteral("meta"),
                                        QStringLiteral("link"),     QStringLiteral("base")};
    return names.contains(name);
}

bool isVoid(const QString &name)
{
    static const QSet<QString> names = {
        QStringLiteral("area"),  QStringLiteral("base"),  QStringLiteral("br"),     QStringLiteral("col"),
        QStringLiteral("embed"), QStringLiteral("hr"),    QStringLiteral("img"),    QStringLiteral("input"),
        QStringLiteral("link"),  QStringLiteral("meta"),  QStringLiteral("source"), QStringLiteral("track"),
        QStringLiteral("wbr"),   QStringLiteral("param"), QStringLiteral("keygen"), QStringLiteral("frame")};
    return names.contains(name);
}

// Formatting elements a browser re-opens for the next text it meets after a block
// closed them: while one may be open, new whitespace could create an element.
bool isFormatting(const QString &name)
{
    static const QSet<QString> names = {
        QStringLiteral("a"),  QStringLiteral("b"),     QStringLiteral("big"),    QStringLiteral("code"),
        QStringLiteral("em"), QStringLiteral("font"),  QStringLiteral("i"),      QStringLiteral("nobr"),
        QStringLiteral("s"),  QStringLiteral("small"), QStringLiteral("strike"), QStringLiteral("strong"),
        QStringLiteral("tt"), QStringLiteral("u")};
    return names.contains(name);
}

bool isHeadContent(const QString &name)
{
    return isHidden(name) || name == QLatin1String("basefont") || name == QLatin1String("bgsound");
}

// The end of the tag whose name starts at `i` (after "<" or "</"), or -1 when the page
// ends inside it; `name` receives its lower-case name. Attribute values are skipped
// by the tokenizer's rules, so a ">" in a quoted value does not end the tag.
qsizetype scanTag(const QString &s, qsizetype i, QString &name)
{
    const qsizetype n = s.size();
    qsizetype j = i;
    while (j < n && !isSpace(s[j]) && s[j] != QLatin1Char('/') && s[j] != QLatin1Char('>'))
        ++j;
    name = s.mid(i, j - i).toLower();
    for (;;) {
        while (j < n && (isSpace(s[j]) || s[j] == QLatin1Char('/')))
            ++j;
        if (j >= n)
            return -1;
        if (s[j] == QLatin1Char('>'))
            return j + 1;
        ++j; // an attribute name's first character may be anything, "=" included
        while (j < n && !isSpace(s[j]) && s[j] != QLatin1Char('/') && s[j] != QLatin1Char('>') &&
               s[j] != QLatin1Char('='))
            ++j;
        while (j < n && isSpace(s[j]))
            ++j;
        if (j >= n || s[j] != QLatin1Char('='))
            continue;
        ++j;
        while (j < n && isSpace(s[j]))
            ++j;
        if (j >= n)
            return -1;
        if (s[j] == QLatin1Char('"') || s[j] == QLatin1Char('\'')) {
            const qsizetype close = s.indexOf(s[j], j + 1);
            if (close < 0)
                return -1;
            j = close + 1;
        } else if (s[j] == QLatin1Char('>')) {
            return j + 1;
        } else {
            while (j < n && !isSpace(s[j]) && s[j] != QLatin1Char('>'))
                ++j;
        }
    }
}

// The end of the comment opened at `i` ("<!--"), or -1 when it runs to the page's end.
qsizetype scanComment(const QString &s, qsizetype i)
{
    qsizetype k = i + 4;
    if (QStringView(s).mid(k, 1) == QLatin1String(">"))
        return k + 1;
    if (QStringView(s).mid(k, 2) == QLatin1String("->"))
        return k + 2;
    for (;;) {
        const qsizetype m = s.indexOf(QLatin1String("--"), k);
        if (m < 0)
            return -1;
        if (m + 2 < s.size() && s[m + 2] == QLatin1Char('>'))
            return m + 3;
        if (m + 3 < s.size() && s[m + 2] == QLatin1Char('!') && s[m + 3] == QLatin1Char('>'))
            return m + 4;
        k = m + 1;
    }
}

// Where the raw content of `name` that starts at `from` ends: the "<" of its end tag,
// or -1 when there is none.
qsizetype rawContentEnd(const QString &s, qsizetype from, const QString &name)
{
    const QString close = QLatin1String("</") + name;
    for (qsizetype at = from;; ++at) {
        at = s.indexOf(close, at, Qt::CaseInsensitive);
        if (at < 0)
            return -1;
        const qsizetype after = at + close.size();
        if (after >= s.size() || isSpace(s[after]) || s[after] == QLatin1Char('/') ||
            s[after] == QLatin1Char('>'))
            return at;
    }
}

std::vector<Token> tokenize(const QString &s)
{
    static const QSet<QString> rawNames = {
        QStringLiteral("script"),   QStringLiteral("style"),    QStringLiteral("title"),
        QStringLiteral("textarea"), QStringLiteral("xmp"),      QStringLiteral("iframe"),
        QStringLiteral("noembed"),  QStringLiteral("noframes"), QStringLiteral("noscript")};
    // In SVG and MathML these are ordinary elements holding markup.
    static const QSet<QString> rawOutsideForeign = {QStringLiteral("script"), QStringLiteral("style"),
                                                    QStringLiteral("title")};
    std::vector<Token> tokens;
    const qsizetype n = s.size();
    int foreign = 0; // depth of open svg and math elements
    auto opaqueFrom = [&](qsizetype at) { tokens.push_back({at, n, Kind::Opaque, {}}); };
    qsizetype i = 0;
    while (i < n) {
        const qsizetype lt = s.indexOf(QLatin1Char('<'), i);
        if (lt < 0 || lt + 1 >= n) {
            if (lt >= 0)
                opaqueFrom(lt);
            break;
        }
        const QChar c = s[lt + 1];
        qsizetype end = -1;
        Token t{lt, 0, Kind::Comment, {}};
        if (isAlpha(c)) {
            end = scanTag(s, lt + 1, t.name);
            t.kind = Kind::Start;
        } else if (c == QLatin1Char('/') && lt + 2 < n && isAlpha(s[lt + 2])) {
            end = scanTag(s, lt + 2, t.name);
            t.kind = Kind::End;
        } else if (QStringView(s).mid(lt, 4) == QLatin1String("<!--")) {
            end = scanComment(s, lt);
        } else if (foreign > 0 && QStringView(s).mid(lt, 9) == QLatin1String("<![CDATA[")) {
            end = s.indexOf(QLatin1String("]]>"), lt + 9);
            if (end >= 0)
                end += 3;
        } else if (c == QLatin1Char('!') || c == QLatin1Char('?') || c == QLatin1Char('/')) {
            end = s.indexOf(QLatin1Char('>'), lt + 2);
            if (end >= 0)
                ++end;
        } else {
            i = lt + 1; // a "<" that starts no tag is text
            continue;
        }
        // Parsers differ on control characters in tag names; no real page has them.
        const bool controls =
            std::any_of(t.name.cbegin(), t.name.cend(), [](QChar ch) { return ch < u'\x20'; });
        if (end < 0 || controls) {
            opaqueFrom(lt);
            break;
        }
        t.end = end;
        if (t.kind == Kind::Start && (t.name == QLatin1String("svg") || t.name == QLatin1String("math")))
            ++foreign;
        else if (t.kind == Kind::End && foreign > 0 &&
                 (t.name == QLatin1String("svg") || t.name == QLatin1String("math")))
            --foreign;
        if (t.kind == Kind::Start && t.name == QLatin1String("plaintext")) {
            opaqueFrom(lt);
            break;
        }
        if (t.kind == Kind::Start && rawNames.contains(t.name) &&
            !(foreign > 0 && rawOutsideForeign.contains(t.name))) {
            const qsizetype contentEnd = rawContentEnd(s, end, t.name);
            // A script holding "<!--" may hide its end tag from the tokenizer: not
            // worth guessing, the rest of the page is kept as it is.
            if (contentEnd < 0 ||
                (t.name == QLatin1String("script") &&
                 QStringView(s).mid(end, contentEnd - end).contains(QLatin1String("<!--")))) {
                opaqueFrom(lt);
                break;
            }
            QString endName;
            const qsizetype closeEnd = scanTag(s, contentEnd + 2, endName);
            if (closeEnd < 0) {
                opaqueFrom(lt);
                break;
            }
            t.kind = Kind::Raw;
            t.end = closeEnd;
        }
        tokens.push_back(t);
        i = t.end;
    }
    return tokens;
}

bool isBlank(QStringView gap)
{
    for (QChar c : gap)
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n') &&
            c != QLatin1Char('\r'))
            return false;
    return true;
}

int lineBreaks(QStringView gap)
{
    int count = 0;
    for (qsizetype k = 0; k < gap.size(); ++k) {
        if (gap[k] == QLatin1Char('\n'))
            ++count;
        else if (gap[k] == QLatin1Char('\r') && (k + 1 >= gap.size() || gap[k + 1] != QLatin1Char('\n')))
            ++count;
    }
    return count;
}

QString usualLineEnd(const QString &s)
{
    int counts[3] = {0, 0, 0}; // LF, CR, CR LF
    for (qsizetype k = 0; k < s.size(); ++k) {
        if (s[k] == QLatin1Char('\n')) {
            ++counts[0];
        } else if (s[k] == QLatin1Char('\r')) {
            const bool pair = k + 1 < s.size() && s[k + 1] == QLatin1Char('\n');
            ++counts[pair ? 2 : 1];
            k += pair ? 1 : 0;
        }
    }
    if (counts[0] > counts[2] && counts[0] >= counts[1])
        return QStringLiteral("\n");
    if (counts[1] > counts[2])
        return QStringLiteral("\r");
    return QStringLiteral("\r\n");
}

enum class Side { Block, Hidden, Inline };

// The block elements a browser holds open, replayed from the tags: for the
// indentation, and to tell an end tag that closes a block from one that is ignored.
class Nesting {
public:
    // Whether the start or end tag `t` makes or closes a block element where it stands
    // (a browser ignores table parts outside a table, a form inside a form, and end
    // tags of elements not open in scope; "</p>" always makes a paragraph).
    bool isBlock(const Token &t) const
    {
        if (t.kind == Kind::End)
            return t.name == QLatin1String("p") || inScope(t.name);
        if (tableParts().contains(t.name))
            return lastIndex(QStringLiteral("table")) >= 0 && !inScope(QStringLiteral("caption"));
        if (t.name == QLatin1String("form"))
            return lastIndex(t.name) < 0;
        return true;
    }
    // Closes what the block tag `t` closes.
    void close(const Token &t)
    {
        if (t.kind == Kind::End) {
            if (inScope(t.name))
                truncate(size_t(lastIndex(t.name)));
            return;
        }
        const qsizetype table = lastIndex(QStringLiteral("table"));
        if (t.name == QLatin1String("li")) {
            closeInScope(t.name, {QStringLiteral("ul"), QStringLiteral("ol"), QStringLiteral("menu")});
        } else if (t.name == QLatin1String("dt") || t.name == QLatin1String("dd")) {
            closeInScope(QStringLiteral("dt"), {});
            closeInScope(QStringLiteral("dd"), {});
        } else if (tableParts().contains(t.name)) {
            // Cells close up to their row, rows up to their section, the rest up to the table.
            static const QStringList sections{QStringLiteral("tbody"), QStringLiteral("thead"),
                                              QStringLiteral("tfoot")};
            const bool cell = t.name == QLatin1String("td") || t.name == QLatin1String("th");
            size_t keep = size_t(table + 1);
            while (keep < m_open.size() && (t.name == QLatin1String("tr") || cell) &&
                   (sections.contains(m_open[keep]) || (cell && m_open[keep] == QLatin1String("tr"))))
                ++keep;
            truncate(keep);
            return;
        }
        if (inScope(QStringLiteral("p")))
            truncate(size_t(lastIndex(QStringLiteral("p")))); // a block start closes a paragraph
    }
    void open(const Token &t)
    {
        if (!isVoid(t.name) && t.name != QLatin1String("html") && t.name != QLatin1String("head") &&
            t.name != QLatin1String("body")) {
            m_open.push_back(t.name);
            ++m_count[t.name];
        }
    }
    int depth() const { return int(m_open.size()); }
    bool inRow() const { return !m_open.empty() && m_open.back() == QLatin1String("tr"); }
    // Whether a table is open with no cell or caption inside it, where a browser moves
    // text and other elements out of the table.
    bool inTableBody() const
    {
        static const QStringList parts{QStringLiteral("table"), QStringLiteral("tbody"),
                                       QStringLiteral("thead"), QStringLiteral("tfoot"),
                                       QStringLiteral("tr"),    QStringLiteral("colgroup")};
        return !m_open.empty() && parts.contains(m_open.back());
    }

private:
    static const QSet<QString> &tableParts()
    {
        static const QSet<QString> names{
            QStringLiteral("caption"), QStringLiteral("colgroup"), QStringLiteral("col"),
            QStringLiteral("tbody"),   QStringLiteral("thead"),    QStringLiteral("tfoot"),
            QStringLiteral("tr"),      QStringLiteral("td"),       QStringLiteral("th")};
        return names;
    }
    // Closes the elements from `size` on.
    void truncate(size_t size)
    {
        while (m_open.size() > size) {
            --m_count[m_open.back()];
            m_open.pop_back();
        }
    }
    // The counts spare a walk down a deep stack for a name that is not on it.
    qsizetype lastIndex(const QString &name) const
    {
        if (m_count.value(name) == 0)
            return -1;
        for (size_t k = m_open.size(); k-- > 0;)
            if (m_open[k] == name)
                return qsizetype(k);
        return -1;
    }
    // Whether `name` is open with no table or cell (nor one of `bounds`) inside it.
    bool inScope(const QString &name, const QStringList &bounds = {}) const
    {
        static const QStringList scope{QStringLiteral("table"), QStringLiteral("td"), QStringLiteral("th"),
                                       QStringLiteral("caption")};
        // Table parts are looked for up to their table only.
        if (m_count.value(name) == 0)
            return false;
        const bool tablePart = tableParts().contains(name) || name == QLatin1String("table");
        for (size_t k = m_open.size(); k-- > 0;) {
            if (m_open[k] == name)
                return true;
            if ((tablePart ? m_open[k] == QLatin1String("table") : scope.contains(m_open[k])) ||
                bounds.contains(m_open[k]))
                return false;
        }
        return false;
    }
    void closeInScope(const QString &name, const QStringList &bounds)
    {
        if (inScope(name, bounds))
            truncate(size_t(lastIndex(name)));
    }
    std::vector<QString> m_open;
    QHash<QString, int> m_count; // of each name in m_open
};

} // namespace

QString FormatHtml(const QString &page, const FormatOptions &options)
{
    const std::vector<Token> tokens = tokenize(page);
    const qsizetype count = qsizetype(tokens.size());
    auto gapAt = [&](qsizetype k) { // the text before token k (k == count: after the last)
        const qsizetype from = k == 0 ? 0 : tokens[k - 1].end;
        const qsizetype to = k == count ? page.size() : tokens[k].begin;
        return QStringView(page).mid(from, to - from);
    };

    // A first pass replays the tags: what stands beside each token, the indentation
    // of the gap before it, and whether that gap may change at all.
    struct Place {
        Side side = Side::Inline;
        int level = 0;
        bool frozen = false;     // in pre, SVG, MathML, select, or after the body
        bool head = false;       // in the head, where every blank gap may change
        bool formatting = false; // a formatting element may be open
    };
    std::vector<Place> places(static_cast<size_t>(count));
    qsizetype tail = count; // from here on only comments and the closing body and html tags
    while (tail > 0 && isBlank(gapAt(tail)) &&
           (tokens[tail - 1].kind == Kind::Comment ||
            (tokens[tail - 1].kind == Kind::End && (tokens[tail - 1].name == QLatin1String("body") ||
                                                    tokens[tail - 1].name == QLatin1String("html")))))
        --tail;
    {
        Nesting nesting;
        QHash<QString, int> formatting; // formatting elements that may be open
        int openFormatting = 0;
        std::vector<QString> frozen; // the open elements whose gaps stay as they are
        int htmlInForeign = 0;
        bool inHead = false, headPassed = !isBlank(gapAt(0)), bodyStarted = headPassed, tagSeen = false;
        bool afterBody = false; // or past what is not replayed: nothing changes from here on
        for (qsizetype k = 0; k < count; ++k) {
            const Token &t = tokens[k];
            Place &place = places[size_t(k)];
            if (k > 0 && !isBlank(gapAt(k))) {
                inHead = false;
                headPassed = bodyStarted = true;
            }
            const bool start = t.kind == Kind::Start, end = t.kind == Kind::End;
            // pre keeps its whitespace; SVG and MathML follow other rules, and a select
            // ignores most tags: the gaps inside them stay as they are.
            static const QSet<QString> freezing{QStringLiteral("pre"), QStringLiteral("listing"),
                                                QStringLiteral("svg"), QStringLiteral("math"),
                                                QStringLiteral("select")};
            const bool freezes = freezing.contains(t.name);
            // Blocks inside pre, SVG, MathML or a select, and any element inside the parts
            // of SVG and MathML that hold HTML, change what is open in ways not replayed
            // here: the rest of the page is kept as it is.
            static const QSet<QString> holdsHtml{
                QStringLiteral("title"), QStringLiteral("desc"),  QStringLiteral("foreignobject"),
                QStringLiteral("mi"),    QStringLiteral("mo"),    QStringLiteral("mn"),
                QStringLiteral("ms"),    QStringLiteral("mtext"), QStringLiteral("annotation-xml")};
            if (!frozen.empty() && start &&
                (blockNames().contains(t.name) || t.name == QLatin1String("select") || htmlInForeign > 0))
                afterBody = true;
            if (!frozen.empty() && holdsHtml.contains(t.name))
                htmlInForeign += start ? 1 : end && htmlInForeign > 0 ? -1 : 0;
            // So do text and elements placed where a table holds only its parts (a
            // browser moves them before the table), and cells without a row.
            static const QSet<QString> inTable{
                QStringLiteral("table"), QStringLiteral("caption"), QStringLiteral("colgroup"),
                QStringLiteral("col"),   QStringLiteral("tbody"),   QStringLiteral("thead"),
                QStringLiteral("tfoot"), QStringLiteral("tr"),      QStringLiteral("script"),
                QStringLiteral("style"), QStringLiteral("template")};
            if (frozen.empty() && nesting.inTableBody() &&
                ((k > 0 && !isBlank(gapAt(k))) || t.kind == Kind::Opaque ||
                 ((start || t.kind == Kind::Raw) && !inTable.contains(t.name) &&
                  !((t.name == QLatin1String("td") || t.name == QLatin1String("th")) && nesting.inRow()))))
                afterBody = true;
            place.frozen = !frozen.empty() || afterBody || t.kind == Kind::Opaque;
            place.head = inHead;
            place.formatting = openFormatting > 0;
            const bool block = (start || end) && blockNames().contains(t.name);
            // Tags inside frozen elements do not count, except the end tag that leaves them.
            const bool counts = frozen.empty() || (end && frozen.size() == 1 && frozen.front() == t.name);
            if (t.name == QLatin1String("html"))
                place.side = (start && !tagSeen) || (end && k >= tail) ? Side::Block : Side::Inline;
            else if (t.name == QLatin1String("head"))
                place.side = (start && !headPassed) || (end && inHead) ? Side::Block : Side::Inline;
            else if (t.name == QLatin1String("body"))
                place.side = (start && !bodyStarted) || (end && k >= tail) ? Side::Block : Side::Inline;
            else if (block && counts)
                place.side = nesting.isBlock(t) ? Side::Block : Side::Inline;
            // The templates' markers (names with "_", which no HTML element has) stand
            // for blocks or vanish when a page is made: like hidden elements, they may
            // stand on a line of their own beside a block.
            else if (t.kind != Kind::Opaque && !block &&
                     (isHidden(t.name) || t.name.contains(QLatin1Char('_'))))
                place.side = Side::Hidden;
            if (counts && place.side == Side::Block)
                nesting.close(t);
            place.level = nesting.depth();
            if (counts && start && place.side == Side::Block)
                nesting.open(t);

            tagSeen = tagSeen || t.kind != Kind::Comment;
            if (start) {
                if (freezes)
                    frozen.push_back(t.name);
                if (isFormatting(t.name)) {
                    ++formatting[t.name];
                    ++openFormatting;
                }
            } else if (end) {
                for (size_t f = frozen.size(); freezes && f-- > 0;) {
                    if (frozen[f] == t.name) {
                        // Left from inside a part that holds HTML (an SVG title), where
                        // parsers differ on what closes: the rest stays as it is.
                        afterBody = afterBody || htmlInForeign > 0;
                        frozen.resize(f);
                        break;
                    }
                }
                if (isFormatting(t.name) && formatting.value(t.name) > 0) {
                    --formatting[t.name];
                    --openFormatting;
                }
                if (t.name == QLatin1String("body") || t.name == QLatin1String("html"))
                    afterBody = true;
            }
            const bool headContent = isHeadContent(t.name);
            if (start && t.name == QLatin1String("head")) {
                inHead = !headPassed;
            } else if ((start || t.kind == Kind::Raw) && t.name != QLatin1String("html") && !headContent) {
                inHead = false;
                headPassed = bodyStarted = true;
            } else if (end && t.name == QLatin1String("head")) {
                inHead = false;
                headPassed = true;
            }
        }
    }
    // The nearest token beside gap k that is not a comment, across blank gaps; -1 for
    // the page's edge, -2 for text. Worked out for every gap at once: a long run of
    // comments would otherwise be walked again from each gap in it.
    std::vector<qsizetype> before(static_cast<size_t>(count) + 1), after(static_cast<size_t>(count) + 1);
    for (qsizetype k = 0; k <= count; ++k)
        before[size_t(k)] = k == 0                                ? -1
                            : tokens[k - 1].kind != Kind::Comment ? k - 1
                            : !isBlank(gapAt(k - 1))              ? -2
                                                                  : before[size_t(k - 1)];
    for (qsizetype k = count; k >= 0; --k)
        after[size_t(k)] = k == count                        ? -1
                           : tokens[k].kind != Kind::Comment ? k
                           : !isBlank(gapAt(k + 1))          ? -2
                                                             : after[size_t(k + 1)];
    auto neighbour = [&](qsizetype k, int step) { return step < 0 ? before[size_t(k)] : after[size_t(k)]; };
    auto sideOf = [&](qsizetype t) {
        return t == -1 ? Side::Block : t == -2 ? Side::Inline : places[size_t(t)].side;
    };

    // Which gaps change.
    std::vector<bool> adjusted(static_cast<size_t>(count), false);
    for (qsizetype k = 1; k < count; ++k) {
        const Place &place = places[size_t(k)];
        const QStringView gap = gapAt(k);
        bool adjust = isBlank(gap) && !place.frozen;
        if (adjust && !place.head) {
            const qsizetype r = neighbour(k, +1);
            const Side left = sideOf(neighbour(k, -1)), right = sideOf(r);
            // What a table holds that tables cannot is moved before it, after this
            // gap: a table's start tag is no boundary on its left.
            const bool table =
                r >= 0 && tokens[r].kind == Kind::Start && tokens[r].name == QLatin1String("table");
            adjust = left != Side::Inline && right != Side::Inline &&
                     (left == Side::Block || (right == Side::Block && !table));
            // A line break is added only between blocks: a block holding a marker or
            // a script keeps it on its line.
            adjust = adjust && (!gap.isEmpty() || (left == Side::Block && right == Side::Block));
        }
        if (adjust && gap.isEmpty()) {
            // New whitespace must not make an empty element non-empty, nor meet
            // a formatting element the browser would open again for it.
            const qsizetype l = neighbour(k, -1), r = neighbour(k, +1);
            const bool emptyElement = l >= 0 && r >= 0 && tokens[l].kind == Kind::Start &&
                                      tokens[r].kind == Kind::End && tokens[l].name == tokens[r].name;
            adjust = !emptyElement && !place.formatting;
        }
        adjusted[size_t(k)] = adjust;
    }

    // New line breaks take the form most lines end in, counted outside the gaps that
    // change (so that formatting again picks the same), else the first one's form.
    QString kept;
    for (qsizetype k = 0; k <= count; ++k) {
        if (k == count || !adjusted[size_t(k)])
            kept += gapAt(k);
        if (k < count)
            kept += QStringView(page).mid(tokens[k].begin, tokens[k].end - tokens[k].begin);
    }
    QString lineEnd = options.lineEnd;
    if (lineEnd.isEmpty()) {
        const qsizetype first = page.indexOf(QRegularExpression(QStringLiteral("[\\r\\n]")));
        lineEnd = kept.contains(QLatin1Char('\n')) || kept.contains(QLatin1Char('\r')) ? usualLineEnd(kept)
                  : first < 0                                   ? QStringLiteral("\r\n")
                  : page.mid(first, 2) == QLatin1String("\r\n") ? QStringLiteral("\r\n")
                                                                : page.mid(first, 1);
    }
    const int indent = qMax(0, options.indent);
    QString out;
    out.reserve(page.size() + page.size() / 8);
    for (qsizetype k = 0; k <= count; ++k) {
        const QStringView gap = gapAt(k);
        if (k < count && adjusted[size_t(k)]) {
            const int breaks = qBound(1, lineBreaks(gap), 2);
            for (int b = 0; b < breaks; ++b)
                out += lineEnd;
            out += QString(qsizetype(indent) * qMin(places[size_t(k)].level, kMaxIndentLevels),
                           QLatin1Char(' '));
        } else {
            out += gap;
        }
        if (k < count)
            out += QStringView(page).mid(tokens[k].begin, tokens[k].end - tokens[k].begin);
    }
    return out;
}

int FirstChangedLine(const QString &before, const QString &after)
{
    qsizetype at = 0;
    const qsizetype shorter = qMin(before.size(), after.size());
    while (at < shorter && before[at] == after[at])
        ++at;
    if (at == shorter && before.size() == after.size())
        return 0;
    int line = 1;
    for (qsizetype k = 0; k < at && k < before.size(); ++k) {
        if (before[k] == QLatin1Char('\n') ||
            (before[k] == QLatin1Char('\r') &&
             (k + 1 >= before.size() || before[k + 1] != QLatin1Char('\n'))))
            ++line;
    }
    return line;
}

} // namespace textmodel
