#include "editor/source/DesignMerge.h"

#include <QByteArray>
#include <QSet>
#include <algorithm>
#include <gumbo.h>
#include <vector>

namespace textmodel {

namespace {

// Nodes the parser made or moved on its own: their bytes are not where the tree
// puts them, so they are never cut out of the text by themselves.
constexpr int kMovedFlags = GUMBO_INSERTION_BY_PARSER | GUMBO_INSERTION_IMPLIED |
                            GUMBO_INSERTION_CONVERTED_FROM_END_TAG | GUMBO_INSERTION_FROM_ISINDEX |
                            GUMBO_INSERTION_FROM_IMAGE | GUMBO_INSERTION_RECONSTRUCTED_FORMATTING_ELEMENT |
                            GUMBO_INSERTION_ADOPTION_AGENCY_CLONED | GUMBO_INSERTION_ADOPTION_AGENCY_MOVED |
                            GUMBO_INSERTION_FOSTER_PARENTED;

// Deeper trees than this (browsers stop nesting there) take the view's text whole:
// the merge walks the tree recursively.
constexpr int kMaxDepth = 512;

// More tags left open than this: the parser slows down sharply on pages that deep.
constexpr qsizetype kMaxOpenTags = 8192;

// Larger child lists than this (pairs compared) are replaced as one run.
constexpr size_t kMaxAlignCells = size_t(1) << 22;

// A bound on how deep the page nests, from its tags alone: start tags that may stay
// open, less end tags.
bool nestsDeeply(const QString &page)
{
    static const QSet<QString> voids = {"area",  "base", "br",   "col",   "embed",  "hr",    "img",
                                        "input", "link", "meta", "param", "source", "track", "wbr"};
    qsizetype open = 0;
    for (qsizetype i = 0; i + 1 < page.size(); ++i) {
        if (page[i] != u'<')
            continue;
        const bool end = page[i + 1] == u'/';
        qsizetype j = i + 1 + (end ? 1 : 0), k = j;
        while (k < page.size() && page[k].isLetterOrNumber())
            ++k;
        if (k == j || !page[j].isLetter())
            continue;
        if (end)
            open = std::max<qsizetype>(0, open - 1);
        else if (!voids.contains(page.mid(j, k - j).toLower()) && ++open > kMaxOpenTags)
            return true;
    }
    return false;
}

QByteArray tagName(const GumboNode *node)
{
    const GumboElement &el = node->v.element;
    if (el.tag != GUMBO_TAG_UNKNOWN)
        return QByteArray(gumbo_normalized_tagname(el.tag));
    GumboStringPiece piece = el.original_tag;
    gumbo_tag_from_original_text(&piece);
    return QByteArray(piece.data, int(piece.length)).toLower();
}

bool isElement(const GumboNode *n)
{
    return n->type == GUMBO_NODE_ELEMENT || n->type == GUMBO_NODE_TEMPLATE;
}

bool isText(const GumboNode *n)
{
    return n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_WHITESPACE || n->type == GUMBO_NODE_CDATA;
}

const GumboVector *childrenOf(const GumboNode *n)
{
    if (n->type == GUMBO_NODE_DOCUMENT)
        return &n->v.document.children;
    if (isElement(n))
        return &n->v.element.children;
    return nullptr;
}

std::vector<const GumboNode *> kids(const GumboNode *n)
{
    std::vector<const GumboNode *> list;
    if (const GumboVector *v = childrenOf(n))
        for (unsigned i = 0; i < v->length; ++i)
            list.push_back(static_cast<const GumboNode *>(v->data[i]));
    return list;
}

// One parsed text with the byte range of each node.
class Parsed {
public:
    explicit Parsed(const QString &text) : bytes(text.toUtf8())
    {
        out = gumbo_parse_with_options(&kGumboDefaultOptions, bytes.constData(), size_t(bytes.size()));
    }
    ~Parsed() { gumbo_destroy_output(&kGumboDefaultOptions, out); }
    Parsed(const Parsed &) = delete;
    Parsed &operator=(const Parsed &) = delete;

    const GumboNode *root() const { return out->document; }

    bool shallow() const
    {
        std::vector<std::pair<const GumboNode *, int>> todo = {{root(), 0}};
        while (!todo.empty()) {
            const auto [node, depth] = todo.back();
            todo.pop_back();
            if (depth > kMaxDepth)
                return false;
            for (const GumboNode *c : kids(node))
                todo.emplace_back(c, depth + 1);
        }
        return true;
    }

    qsizetype offset(const char *p) const { return qsizetype(p - bytes.constData()); }

    qsizetype start(const GumboNode *n) const
    {
        if (n->type == GUMBO_NODE_DOCUMENT)
            return 0;
        if (isElement(n))
            return qsizetype(n->v.element.start_pos.offset);
        return offset(n->v.text.original_text.data);
    }
    // Where the element's own end tag starts (its content ends there); the end of
    // its last child when it has none of its own.
    // Children can follow the end tag: white space after </body> belongs to the body.
    qsizetype contentEnd(const GumboNode *n) const
    {
        if (n->type == GUMBO_NODE_DOCUMENT)
            return bytes.size();
        const GumboVector &c = n->v.element.children;
        const qsizetype last = c.length ? end(static_cast<const GumboNode *>(c.data[c.length - 1])) : 0;
        return std::max(last, ownEndTag(n) ? qsizetype(n->v.element.end_pos.offset) : contentStart(n));
    }
    qsizetype contentStart(const GumboNode *n) const
    {
        if (n->type == GUMBO_NODE_DOCUMENT)
            return 0;
        return start(n) + qsizetype(n->v.element.original_tag.length);
    }
    qsizetype end(const GumboNode *n) const
    {
        if (n->type == GUMBO_NODE_DOCUMENT)
            return bytes.size();
        if (!isElement(n))
            return offset(n->v.text.original_text.data) + qsizetype(n->v.text.original_text.length);
        if (!ownEndTag(n))
            return contentEnd(n);
        const GumboElement &el = n->v.element;
        return std::max(contentEnd(n), qsizetype(el.end_pos.offset + el.original_end_tag.length));
    }
    // The bytes [from, to), without a copy.
    QByteArrayView piece(qsizetype from, qsizetype to) const
    {
        from = std::clamp<qsizetype>(from, 0, bytes.size());
        return QByteArrayView(bytes).sliced(from, std::clamp<qsizetype>(to, from, bytes.size()) - from);
    }
    QByteArrayView slice(const GumboNode *n) const { return piece(start(n), end(n)); }

    QByteArray bytes;

private:
    // The parser records whatever token closed an element as its end tag, even the
    // end tag of an ancestor; only a tag of its own name counts here.
    bool ownEndTag(const GumboNode *n) const
    {
        const GumboElement &el = n->v.element;
        if (!el.original_end_tag.length || (n->parse_flags & GUMBO_INSERTION_IMPLICIT_END_TAG))
            return false;
        GumboStringPiece piece = el.original_end_tag;
        gumbo_tag_from_original_text(&piece);
        return QByteArray(piece.data, int(piece.length)).toLower() == tagName(n);
    }

    GumboOutput *out = nullptr;
};

// Same kind of node (and for elements the same tag): the two can stand for each other.
bool sameKind(const GumboNode *a, const GumboNode *b)
{
    if (isElement(a) || isElement(b))
        return isElement(a) && isElement(b) && tagName(a) == tagName(b);
    if (isText(a) || isText(b))
        return isText(a) && isText(b);
    return a->type == b->type;
}

bool sameAttributes(const GumboNode *a, const GumboNode *b)
{
    const GumboVector &x = a->v.element.attributes, &y = b->v.element.attributes;
    if (x.length != y.length)
        return false;
    for (unsigned i = 0; i < x.length; ++i) {
        const auto *p = static_cast<const GumboAttribute *>(x.data[i]);
        const auto *q = static_cast<const GumboAttribute *>(y.data[i]);
        if (qstrcmp(p->name, q->name) != 0 || qstrcmp(p->value, q->value) != 0)
            return false;
    }
    return true;
}

// The tree as the parser sees it, for telling whether two texts build the same page.
void describe(const GumboNode *n, QByteArray &out)
{
    if (isElement(n)) {
        out += '<' + tagName(n);
        const GumboVector &a = n->v.element.attributes;
        for (unsigned i = 0; i < a.length; ++i) {
            const auto *attr = static_cast<const GumboAttribute *>(a.data[i]);
            out += ' ' + QByteArray(attr->name) + "=\"" + QByteArray(attr->value) + '"';
        }
        out += '>';
    } else if (isText(n)) {
        out += "#t" + QByteArray::number(qstrlen(n->v.text.text)) + ':' + n->v.text.text;
    } else if (n->type == GUMBO_NODE_COMMENT) {
        out += "#c" + QByteArray::number(qstrlen(n->v.text.text)) + ':' + n->v.text.text;
    }
    for (const GumboNode *c : kids(n))
        describe(c, out);
    out += '/';
}

QByteArray describe(const Parsed &p)
{
    QByteArray out;
    const GumboDocument &doc = p.root()->v.document;
    if (doc.has_doctype)
        out += QByteArray("!doctype ") + doc.name + ' ' + doc.public_identifier + ' ' + doc.system_identifier;
    describe(p.root(), out);
    return out;
}

class Merger {
public:
    Merger(const Parsed &o, const Parsed &b, const Parsed &e) : o(o), b(b), e(e) {}

    bool mergeDocument() { return mergeChildren(o.root(), b.root(), e.root(), 0, o.bytes.size()); }
    QByteArray out; // the page after the edit
    // The same text with the parts taken from after the edit taken from before it
    // instead: it must read as the original does, or a part was cut out wrongly.
    QByteArray alt;

private:
    void keep(QByteArrayView bytes)
    {
        out.append(bytes);
        alt.append(bytes);
    }
    void rollBack(qsizetype outSize, qsizetype altSize)
    {
        out.truncate(outSize);
        alt.truncate(altSize);
    }

    // Appends `on` as it reads after the edit: `bn` is its counterpart before the
    // edit, `en` after. False (nothing appended) when it cannot be done safely here.
    bool mergeNode(const GumboNode *on, const GumboNode *bn, const GumboNode *en)
    {
        if (b.slice(bn) == e.slice(en)) {
            keep(o.slice(on));
            return true;
        }
        const qsizetype mark = out.size(), altMark = alt.size();
        if (isElement(bn) && sameKind(bn, en) && sameAttributes(bn, en)) {
            keep(o.piece(o.start(on), o.contentStart(on)));
            if (mergeChildren(on, bn, en, o.contentStart(on), o.contentEnd(on))) {
                keep(o.piece(o.contentEnd(on), o.end(on)));
                return true;
            }
            rollBack(mark, altMark);
        }
        if (!replaceable(on))
            return false;
        out.append(e.slice(en));
        alt.append(b.slice(bn));
        return true;
    }

    bool replaceable(const GumboNode *on) const
    {
        if (on->parse_flags & kMovedFlags)
            return false;
        return !isElement(on) || on->v.element.original_tag.length > 0;
    }

    // Appends the content of `on` (the bytes [from, to) of the original) as it
    // reads after the edit.
    bool mergeChildren(const GumboNode *on, const GumboNode *bn, const GumboNode *en, qsizetype from,
                       qsizetype to)
    {
        const auto oc = kids(on), bc = kids(bn), ec = kids(en);
        if (oc.size() != bc.size())
            return false;
        qsizetype pos = from;
        for (size_t i = 0; i < oc.size(); ++i) {
            if (!sameKind(oc[i], bc[i]) || o.start(oc[i]) < pos || o.end(oc[i]) < o.start(oc[i]))
                return false;
            pos = o.end(oc[i]);
        }
        if (pos > to)
            return false;

        std::vector<QByteArrayView> bs, es;
        for (const GumboNode *n : bc)
            bs.push_back(b.slice(n));
        for (const GumboNode *n : ec)
            es.push_back(e.slice(n));
        const auto pairs = align(bs, es);

        pos = from;
        size_t bi = 0, ei = 0;
        for (size_t k = 0; k <= pairs.size(); ++k) {
            const size_t bj = k < pairs.size() ? pairs[k].first : bc.size();
            const size_t ej = k < pairs.size() ? pairs[k].second : ec.size();
            if (!mergeRun(oc, bc, ec, bi, bj, ei, ej, pos))
                return false;
            if (k < pairs.size()) {
                keep(o.piece(pos, o.end(oc[bj])));
                pos = o.end(oc[bj]);
            }
            bi = bj + 1;
            ei = ej + 1;
        }
        keep(o.piece(pos, to));
        return true;
    }

    // The children [bi, bj) before the edit became [ei, ej) after it.
    bool mergeRun(const std::vector<const GumboNode *> &oc, const std::vector<const GumboNode *> &bc,
                  const std::vector<const GumboNode *> &ec, size_t bi, size_t bj, size_t ei, size_t ej,
                  qsizetype &pos)
    {
        if (bi == bj && ei == ej)
            return true;
        if (bj - bi == ej - ei) {
            // Changed in place: each one keeps what it can of its own text.
            bool paired = true;
            for (size_t k = 0; k < bj - bi && paired; ++k)
                paired = sameKind(bc[bi + k], ec[ei + k]);
            if (paired) {
                const qsizetype mark = out.size(), altMark = alt.size(), markPos = pos;
                bool ok = true;
                for (size_t k = 0; k < bj - bi && ok; ++k) {
                    keep(o.piece(pos, o.start(oc[bi + k])));
                    ok = mergeNode(oc[bi + k], bc[bi + k], ec[ei + k]);
                    pos = o.end(oc[bi + k]);
                }
                if (ok)
                    return true;
                rollBack(mark, altMark);
                pos = markPos;
            }
        }
        // Children removed, added or reshaped: the run is taken from after the edit whole.
        for (size_t k = bi; k < bj; ++k)
            if (!replaceable(oc[k]))
                return false;
        if (bi < bj) {
            keep(o.piece(pos, o.start(oc[bi])));
            pos = o.end(oc[bj - 1]);
            alt.append(b.piece(b.start(bc[bi]), b.end(bc[bj - 1])));
        }
        if (ei < ej)
            out.append(e.piece(e.start(ec[ei]), e.end(ec[ej - 1])));
        return true;
    }

    // Index pairs of equal entries, in order: the longest common subsequence.
    static std::vector<std::pair<size_t, size_t>> align(const std::vector<QByteArrayView> &x,
                                                        const std::vector<QByteArrayView> &y)
    {
        std::vector<std::pair<size_t, size_t>> pairs;
        size_t head = 0;
        while (head < x.size() && head < y.size() && x[head] == y[head]) {
            pairs.emplace_back(head, head);
            ++head;
        }
        size_t tail = 0;
        while (tail < x.size() - head && tail < y.size() - head &&
               x[x.size() - 1 - tail] == y[y.size() - 1 - tail])
            ++tail;
        const size_t n = x.size() - head - tail, m = y.size() - head - tail;
        if (n && m && n * m <= kMaxAlignCells) {
            // lengths[i][j]: the longest common run of x[head+i..] and y[head+j..].
            std::vector<std::vector<unsigned>> len(n + 1, std::vector<unsigned>(m + 1, 0));
            for (size_t i = n; i-- > 0;)
                for (size_t j = m; j-- > 0;)
                    len[i][j] = x[head + i] == y[head + j] ? len[i + 1][j + 1] + 1
                                                           : std::max(len[i + 1][j], len[i][j + 1]);
            size_t i = 0, j = 0;
            while (i < n && j < m) {
                if (x[head + i] == y[head + j]) {
                    pairs.emplace_back(head + i, head + j);
                    ++i;
                    ++j;
                } else if (len[i + 1][j] >= len[i][j + 1]) {
                    ++i;
                } else {
                    ++j;
                }
            }
        }
        for (size_t k = 0; k < tail; ++k)
            pairs.emplace_back(x.size() - tail + k, y.size() - tail + k);
        return pairs;
    }

    const Parsed &o, &b, &e;
};

} // namespace

QString MergeDesignEdit(const QString &original, const QString &before, const QString &after)
{
    if (before == after)
        return original;
    // A page with nothing of its own yet takes the view's whole document.
    if (original.trimmed().isEmpty())
        return after;
    if (nestsDeeply(original) || nestsDeeply(before) || nestsDeeply(after))
        return after;
    const Parsed o(original), b(before), e(after);
    if (!o.shallow() || !b.shallow() || !e.shallow())
        return after;
    Merger merger(o, b, e);
    if (!merger.mergeDocument())
        return after;
    // Every part cut out of the original must be exactly the nodes it stood for, and
    // the result must build the page the design view holds (where the parser here
    // builds the original as the view did: it differs from browsers on some unknown
    // tags). Otherwise the view's own text is the safe answer.
    const QString merged = QString::fromUtf8(merger.out);
    const QByteArray originalTree = describe(o);
    if (describe(Parsed(QString::fromUtf8(merger.alt))) != originalTree)
        return after;
    if (originalTree == describe(b) && describe(Parsed(merged)) != describe(e))
        return after;
    return merged;
}

} // namespace textmodel
