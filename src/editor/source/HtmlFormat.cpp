#include "editor/source/HtmlFormat.h"

#include <QHash>
#include <QSet>
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
        if (end < 0) {
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

// The open block elements, for the indentation only (html, head and body add none).
class Nesting {
public:
    // Closes what the start or end tag `t` closes.
    void close(const Token &t)
    {
        if (t.kind == Kind::End) {
            popTo(t.name, {});
            return;
        }
        if (t.kind != Kind::Start || !blockNames().contains(t.name))
            return;
        static const QStringList lists{QStringLiteral("ul"), QStringLiteral("ol"), QStringLiteral("menu")};
        static const QStringList definitions{QStringLiteral("dl")};
        static const QStringList tables{QStringLiteral("table")};
        static const QStringList rows{QStringLiteral("tr"), QStringLiteral("table")};
        if (t.name == QLatin1String("li")) {
            popTo(t.name, lists);
        } else if (t.name == QLatin1String("dt") || t.name == QLatin1String("dd")) {
            popTo(QStringLiteral("dt"), definitions);
            popTo(QStringLiteral("dd"), definitions);
        } else if (t.name == QLatin1String("td") || t.name == QLatin1String("th")) {
            popTo(QStringLiteral("td"), rows);
            popTo(QStringLiteral("th"), rows);
            return;
        } else if (t.name == QLatin1String("tr")) {
            popTo(t.name, tables);
            return;
        } else if (t.name == QLatin1String("tbody") || t.name == QLatin1String("thead") ||
                   t.name == QLatin1String("tfoot")) {
            for (const char *section : {"tbody", "thead", "tfoot"})
                popTo(QString::fromLatin1(section), tables);
            return;
        }
        if (!m_open.empty() && m_open.back() == QLatin1String("p"))
            m_open.pop_back(); // a block start closes an open paragraph
    }
    void open(const Token &t)
    {
        if (t.kind == Kind::Start && blockNames().contains(t.name) && !isVoid(t.name) &&
            t.name != QLatin1String("html") && t.name != QLatin1String("head") &&
            t.name != QLatin1String("body"))
            m_open.push_back(t.name);
    }
    int depth() const { return int(m_open.size()); }

private:
    // Closes the innermost open `name` unless one of `bounds` is open inside it.
    void popTo(const QString &name, const QStringList &bounds)
    {
        for (size_t k = m_open.size(); k-- > 0;) {
            if (m_open[k] == name) {
                m_open.resize(k);
                return;
            }
            if (bounds.contains(m_open[k]))
                return;
        }
    }
    std::vector<QString> m_open;
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
    auto sideOf = [&](const Token &t) {
        if (t.kind == Kind::Opaque)
            return Side::Inline;
        if (t.kind != Kind::Raw && blockNames().contains(t.name))
            return Side::Block;
        // The templates' markers (names with "_", which no HTML element has) stand for
        // blocks or vanish when a page is made: like hidden elements, they may stand on
        // a line of their own beside a block.
        return isHidden(t.name) || t.name.contains(QLatin1Char('_')) ? Side::Hidden : Side::Inline;
    };
    // The nearest token beside gap k that is not a comment, across blank gaps; -1 for
    // the page's edge, -2 for text.
    auto neighbour = [&](qsizetype k, int step) -> qsizetype {
        qsizetype t = step < 0 ? k - 1 : k;
        while (t >= 0 && t < count && tokens[t].kind == Kind::Comment) {
            if (!isBlank(gapAt(step < 0 ? t : t + 1)))
                return -2;
            t += step;
        }
        return t < 0 || t >= count ? -1 : t;
    };
    auto neighbourSide = [&](qsizetype t) {
        return t == -1 ? Side::Block : t == -2 ? Side::Inline : sideOf(tokens[t]);
    };

    const QString lineEnd = options.lineEnd.isEmpty() ? usualLineEnd(page) : options.lineEnd;
    const int indent = qMax(0, options.indent);
    QString out;
    out.reserve(page.size() + page.size() / 8);
    Nesting nesting;
    QHash<QString, int> formatting; // formatting elements that may be open
    int openFormatting = 0, preformatted = 0, foreign = 0;
    bool inHead = false, afterBody = false;
    out += gapAt(0);
    for (qsizetype k = 0; k < count; ++k) {
        const Token &t = tokens[k];
        const bool pre = t.name == QLatin1String("pre") || t.name == QLatin1String("listing");
        const bool svg = t.name == QLatin1String("svg") || t.name == QLatin1String("math");
        // Tags inside pre, SVG and MathML do not count for the indentation, except the
        // end tag that leaves them.
        const bool counts =
            (preformatted == 0 && foreign == 0) || (t.kind == Kind::End && preformatted + foreign == 1 &&
                                                    ((pre && preformatted == 1) || (svg && foreign == 1)));
        if (counts)
            nesting.close(t);
        if (k > 0) {
            const QStringView gap = gapAt(k);
            const bool blank = isBlank(gap);
            if (inHead && !blank)
                inHead = false;
            bool adjust = blank && !afterBody && preformatted == 0 && foreign == 0 && t.kind != Kind::Opaque;
            if (adjust && !inHead) {
                const Side left = neighbourSide(neighbour(k, -1));
                const Side right = neighbourSide(neighbour(k, +1));
                adjust = left != Side::Inline && right != Side::Inline &&
                         (left == Side::Block || right == Side::Block);
            }
            if (adjust && gap.isEmpty()) {
                // New whitespace must not make an empty element non-empty, nor meet
                // a formatting element the browser would open again for it.
                const qsizetype l = neighbour(k, -1), r = neighbour(k, +1);
                const bool emptyElement = l >= 0 && r >= 0 && tokens[l].kind == Kind::Start &&
                                          tokens[r].kind == Kind::End && tokens[l].name == tokens[r].name;
                adjust = !emptyElement && openFormatting == 0 && tokens[k - 1].kind != Kind::Opaque;
            }
            if (adjust) {
                const int breaks = qBound(1, lineBreaks(gap), 2);
                for (int b = 0; b < breaks; ++b)
                    out += lineEnd;
                out += QString(qsizetype(indent) * nesting.depth(), QLatin1Char(' '));
            } else {
                out += gap;
            }
        }
        out += QStringView(page).mid(t.begin, t.end - t.begin);

        // What the token opens or closes for the gaps after it.
        if (t.kind == Kind::Start) {
            if (counts)
                nesting.open(t);
            preformatted += pre ? 1 : 0;
            foreign += svg ? 1 : 0;
            if (isFormatting(t.name)) {
                ++formatting[t.name];
                ++openFormatting;
            }
            if (t.name == QLatin1String("head"))
                inHead = true;
            else if (!isHeadContent(t.name))
                inHead = false;
        } else if (t.kind == Kind::End) {
            if (pre && preformatted > 0)
                --preformatted;
            if (svg && foreign > 0)
                --foreign;
            if (isFormatting(t.name) && formatting.value(t.name) > 0) {
                --formatting[t.name];
                --openFormatting;
            }
            if (t.name == QLatin1String("head") || t.name == QLatin1String("body"))
                inHead = false;
            if (t.name == QLatin1String("body") || t.name == QLatin1String("html"))
                afterBody = true;
        } else if (t.kind == Kind::Raw && !isHeadContent(t.name)) {
            inHead = false;
        }
    }
    if (count > 0)
        out += gapAt(count);
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
