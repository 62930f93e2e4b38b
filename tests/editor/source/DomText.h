#pragma once
// The tree an HTML5 parser builds from a page, written out as text, so that two pages
// compare equal exactly when a browser shows them alike: elements, attributes (as
// written), comments and text, where text outside pre-like elements is compared with
// its whitespace runs collapsed and without the whitespace a block's edge swallows.

#include <QSet>
#include <QString>
#include <gumbo.h>

namespace domtext {

inline QString nameOf(const GumboElement &e)
{
    if (e.tag != GUMBO_TAG_UNKNOWN)
        return QString::fromUtf8(gumbo_normalized_tagname(e.tag));
    GumboStringPiece piece = e.original_tag;
    gumbo_tag_from_original_text(&piece);
    return QString::fromUtf8(piece.data, int(piece.length)).toLower();
}

inline bool isBlock(const GumboNode *n)
{
    static const QSet<QString> blocks = {
        "address", "article", "aside",  "blockquote", "body", "caption", "center",  "col",      "colgroup",
        "dd",      "details", "dialog", "dir",        "div",  "dl",      "dt",      "fieldset", "figcaption",
        "figure",  "footer",  "form",   "h1",         "h2",   "h3",      "h4",      "h5",       "h6",
        "head",    "header",  "hgroup", "hr",         "html", "legend",  "li",      "listing",  "main",
        "menu",    "nav",     "ol",     "p",          "pre",  "section", "summary", "table",    "tbody",
        "td",      "tfoot",   "th",     "thead",      "tr",   "ul"};
    return n->type == GUMBO_NODE_DOCUMENT ||
           ((n->type == GUMBO_NODE_ELEMENT || n->type == GUMBO_NODE_TEMPLATE) &&
            n->v.element.tag_namespace == GUMBO_NAMESPACE_HTML && blocks.contains(nameOf(n->v.element)));
}

inline bool isText(const GumboNode *n)
{
    return n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_WHITESPACE || n->type == GUMBO_NODE_CDATA;
}

inline QString collapsed(const char *text)
{
    QString s = QString::fromUtf8(text), out;
    for (QChar c : s) {
        const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
        if (!space)
            out += c;
        else if (!out.endsWith(' '))
            out += ' ';
    }
    return out;
}

inline void describe(const GumboNode *node, bool exact, QString &out)
{
    const GumboVector &kids =
        node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
    // Whether a block is the nearest thing beside child i (comments and blank text
    // skipped), looking out of inline parents at their edges.
    auto blockBeside = [](const GumboNode *parent, long i, int step) {
        for (;;) {
            const GumboVector &row = parent->type == GUMBO_NODE_DOCUMENT ? parent->v.document.children
                                                                         : parent->v.element.children;
            for (long j = i + step; j >= 0 && j < long(row.length); j += step) {
                const auto *k = static_cast<const GumboNode *>(row.data[j]);
                if (k->type == GUMBO_NODE_COMMENT ||
                    (isText(k) && collapsed(k->v.text.text).trimmed().isEmpty()))
                    continue;
                return isBlock(k);
            }
            if (isBlock(parent) || !parent->parent)
                return true;
            i = long(parent->index_within_parent);
            parent = parent->parent;
        }
    };
    for (unsigned i = 0; i < kids.length; ++i) {
        const auto *k = static_cast<const GumboNode *>(kids.data[i]);
        if (isText(k)) {
            if (exact) {
                out += "\x01T" + QString::fromUtf8(k->v.text.text);
                continue;
            }
            QString text = collapsed(k->v.text.text);
            if (text.startsWith(' ') && blockBeside(node, i, -1))
                text.remove(0, 1);
            if (text.endsWith(' ') && blockBeside(node, i, +1))
                text.chop(1);
            const bool hiddenParent =
                node->type == GUMBO_NODE_ELEMENT &&
                (node->v.element.tag == GUMBO_TAG_HEAD || node->v.element.tag == GUMBO_TAG_HTML);
            if (!text.isEmpty() && !(hiddenParent && text == " "))
                out += "\x01T" + text;
        } else if (k->type == GUMBO_NODE_COMMENT) {
            out += "\x01C" + QString::fromUtf8(k->v.text.text);
        } else if (k->type == GUMBO_NODE_ELEMENT || k->type == GUMBO_NODE_TEMPLATE) {
            const GumboElement &e = k->v.element;
            const QString name = nameOf(e);
            out += "\x01<" + QString::number(e.tag_namespace) + name;
            for (unsigned a = 0; a < e.attributes.length; ++a) {
                const auto *attr = static_cast<const GumboAttribute *>(e.attributes.data[a]);
                out += "\x02" + QString::fromUtf8(attr->name) + "=" +
                       QString::fromUtf8(attr->original_value.data, int(attr->original_value.length));
            }
            static const QSet<QString> preformatted = {"pre",      "listing",  "textarea",  "script",
                                                       "style",    "xmp",      "iframe",    "noembed",
                                                       "noframes", "noscript", "plaintext", "title"};
            describe(k, exact || e.tag_namespace != GUMBO_NAMESPACE_HTML || preformatted.contains(name), out);
            out += "\x01>";
        }
    }
}

// The page's tree as text (the page as UTF-8).
inline QString DomText(const QString &page)
{
    const QByteArray bytes = page.toUtf8();
    GumboOutput *output =
        gumbo_parse_with_options(&kGumboDefaultOptions, bytes.constData(), size_t(bytes.size()));
    QString out;
    const GumboNode *doc = output->document;
    out += QString::fromUtf8(doc->v.document.name) + "|" +
           QString::fromUtf8(doc->v.document.public_identifier) + "|" +
           QString::fromUtf8(doc->v.document.system_identifier);
    describe(doc, false, out);
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return out;
}

} // namespace domtext
