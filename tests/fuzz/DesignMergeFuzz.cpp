// Design edits merged into any page. The design view is played by a serialiser in the
// browser's manner over the parsed page; the edit wraps, deletes, restyles or inserts
// after one node. An unchanged page gives its own bytes back, and the merged page
// builds the edited tree wherever the parser builds the page as it builds its
// serialisation.
#include "FuzzSupport.h"
#include "editor/source/DesignMerge.h"
#include "editor/source/DomText.h"

namespace {

struct Edit {
    int node = -1; // in document order; -1: none
    int kind = 0;  // 0 wrap in <b>, 1 delete, 2 restyle an element, 3 insert a table after
};

QByteArray escaped(const char *text, bool attribute, bool raw)
{
    QByteArray out;
    for (const char *p = text; *p; ++p) {
        if (raw)
            out += *p;
        else if (*p == '&')
            out += "&amp;";
        else if (*p == '<' && !attribute)
            out += "&lt;";
        else if (*p == '>' && !attribute)
            out += "&gt;";
        else if (*p == '"' && attribute)
            out += "&quot;";
        else
            out += *p;
    }
    return out;
}

void serialise(const GumboNode *n, const Edit &edit, int &count, bool raw, QByteArray &out)
{
    const int index = count++;
    const bool here = index == edit.node;
    if (here && edit.kind == 1)
        return;
    QByteArray self;
    if (n->type == GUMBO_NODE_ELEMENT || n->type == GUMBO_NODE_TEMPLATE) {
        const QByteArray name = domtext::nameOf(n->v.element).toUtf8();
        self += '<' + name;
        const GumboVector &attrs = n->v.element.attributes;
        for (unsigned i = 0; i < attrs.length; ++i) {
            const auto *a = static_cast<const GumboAttribute *>(attrs.data[i]);
            if (!(here && edit.kind == 2 && qstrcmp(a->name, "style") == 0))
                self += ' ' + QByteArray(a->name) + "=\"" + escaped(a->value, true, false) + '"';
        }
        if (here && edit.kind == 2)
            self += " style=\"color: red;\"";
        self += '>';
        static const QList<QByteArray> voids = {"area",  "base", "br",   "col",    "embed", "hr", "img",
                                                "input", "link", "meta", "source", "track", "wbr"};
        if (!voids.contains(name)) {
            static const QList<QByteArray> raws = {"script",  "style",    "xmp",      "iframe",
                                                   "noembed", "noframes", "plaintext"};
            const GumboVector &kids = n->v.element.children;
            for (unsigned i = 0; i < kids.length; ++i)
                serialise(static_cast<const GumboNode *>(kids.data[i]), edit, count, raws.contains(name),
                          self);
            self += "</" + name + '>';
        }
    } else if (n->type == GUMBO_NODE_COMMENT) {
        self += "<!--" + QByteArray(n->v.text.text) + "-->";
    } else {
        self += escaped(n->v.text.text, false, raw);
    }
    out += here && edit.kind == 0 ? "<b>" + self + "</b>" : self;
    if (here && edit.kind == 3)
        out += "<table><tbody><tr><td>x</td></tr></tbody></table>";
}

QString serialise(const QString &page, const Edit &edit)
{
    const QByteArray bytes = page.toUtf8();
    GumboOutput *tree =
        gumbo_parse_with_options(&kGumboDefaultOptions, bytes.constData(), size_t(bytes.size()));
    QByteArray out = "<!DOCTYPE html>";
    int count = 0;
    const GumboVector &top = tree->document->v.document.children;
    for (unsigned i = 0; i < top.length; ++i)
        serialise(static_cast<const GumboNode *>(top.data[i]), edit, count, false, out);
    gumbo_destroy_output(&kGumboDefaultOptions, tree);
    return QString::fromUtf8(out);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const Edit edit{data.ConsumeIntegralInRange(0, 64), data.ConsumeIntegralInRange(0, 3)};
    const QString page = fuzzing::text(data, 8192);
    const QString before = serialise(page, {}), after = serialise(page, edit);
    FUZZ_CHECK(textmodel::MergeDesignEdit(page, before, before) == page, page);
    const QString merged = textmodel::MergeDesignEdit(page, before, after);
    if (domtext::DomText(page) == domtext::DomText(before))
        FUZZ_CHECK(
            domtext::DomText(merged) == domtext::DomText(after),
            QString(page + "\n--- after:\n" + after + "\n--- merged:\n" + merged).replace(QChar(0), "\\0"));
    return 0;
}
