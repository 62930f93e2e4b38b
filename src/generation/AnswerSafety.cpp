#include "generation/AnswerSafety.h"

#include "generation/Fields.h"
#include "generation/Pictures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <cstring>

namespace generation {
namespace {

bool asciiLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

quint32 littleEndian(const QByteArray &b, int at, int bytes)
{
    quint32 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | quint8(b.at(at + i));
    return v;
}

quint32 bigEndian32(const QByteArray &b, int at)
{
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | quint8(b.at(at + i));
    return v;
}

bool startsWith(const QByteArray &head, const char *magic, int size)
{
    return head.size() >= size && std::memcmp(head.constData(), magic, size) == 0;
}

// An ISO media file whose major or compatible brands name AVIF.
bool isAvif(const QByteArray &head)
{
    if (head.size() < 16 || head.mid(4, 4) != "ftyp")
        return false;
    const qsizetype end = qMin<qsizetype>(bigEndian32(head, 0), head.size());
    for (qsizetype at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) { // brand, version, brands...
        const QByteArray brand = head.mid(at, 4);
        if (brand == "avif" || brand == "avis")
            return true;
    }
    return false;
}

// The root element of an XML text is <svg> (any prefix), after the declaration,
// comments, processing instructions and the document type.
bool isSvg(const QByteArray &head)
{
    qsizetype i = head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    for (;;) {
        while (i < head.size() && QChar::isSpace(uchar(head.at(i))))
            ++i;
        if (i >= head.size() || head.at(i) != '<')
            return false;
        qsizetype end = -1;
        if (head.mid(i, 4) == "<!--") {
            end = head.indexOf("-->", i + 4);
            end = end < 0 ? -1 : end + 3;
        } else if (head.mid(i, 2) == "<?") {
            end = head.indexOf("?>", i + 2);
            end = end < 0 ? -1 : end + 2;
        } else if (head.mid(i, 2) == "<!") {
            const qsizetype close = head.indexOf('>', i);
            const qsizetype subset = head.indexOf('[', i);
            end = subset >= 0 && (close < 0 || subset < close) ? head.indexOf("]", subset) : i;
            end = end < 0 ? -1 : head.indexOf('>', end);
            end = end < 0 ? -1 : end + 1;
        } else {
            qsizetype n = i + 1;
            while (n < head.size() && !QChar::isSpace(uchar(head.at(n))) && head.at(n) != '>' &&
                   head.at(n) != '/')
                ++n;
            const QByteArray name = head.mid(i + 1, n - i - 1);
            return n < head.size() && (name == "svg" || name.endsWith(":svg"));
        }
        if (end < 0)
            return false;
        i = end;
    }
}

bool isUnder(const QString &path, const QString &folder)
{
    return !folder.isEmpty() && !path.isEmpty() &&
           (path == folder ||
            path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/')));
}

} // namespace

QString ScriptAddressScheme(const QString &address)
{
    // Browsers drop leading blanks and control characters and ignore tabs and line
    // ends anywhere, so "\tjava\nscript:" still runs.
    QString s;
    s.reserve(address.size());
    for (const QChar c : address)
        if (c != QLatin1Char('\t') && c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            s += c;
    qsizetype start = 0;
    while (start < s.size() && s.at(start).unicode() <= 0x20)
        ++start;
    if (start >= s.size() || !asciiLetter(s.at(start)))
        return {};
    qsizetype end = start + 1;
    while (end < s.size() &&
           (asciiLetter(s.at(end)) || s.at(end).isDigit() || s.at(end) == QLatin1Char('+') ||
            s.at(end) == QLatin1Char('-') || s.at(end) == QLatin1Char('.')))
        ++end;
    if (end >= s.size() || s.at(end) != QLatin1Char(':'))
        return {};
    const QString scheme = s.mid(start, end - start).toLower();
    for (const char *unsafe : {"javascript", "data", "vbscript"})
        if (scheme == QLatin1String(unsafe))
            return scheme;
    return {};
}

QStringList UnsafeLinkAnswers(const PageData &data)
{
    QStringList fields;
    for (const Field &link : Fields())
        if (!link.link.isEmpty() && !ScriptAddressScheme(data.*link.text).isEmpty())
            fields << link.name;
    return fields;
}

QString UnsafeLinkMessage(const QString &field, const PageData &data)
{
    for (const Field &link : Fields())
        if (!link.link.isEmpty() && field == link.name)
            return QStringLiteral("The %1 (%2) is a %3: address, which could run script in your visitors' "
                                  "browsers. Please give a web address (https://...) or an e-mail address.")
                .arg(link.link, field, ScriptAddressScheme(data.*link.text));
    return {};
}

PageData WithoutUnsafeLinks(const PageData &data)
{
    PageData safe = data;
    for (const Field &link : Fields())
        if (!link.link.isEmpty() && !ScriptAddressScheme(safe.*link.text).isEmpty())
            (safe.*link.text).clear();
    return safe;
}

bool IsPictureData(const QByteArray &head)
{
    if (startsWith(head, "\x89PNG\r\n\x1A\n", 8) || startsWith(head, "\xFF\xD8\xFF", 3) ||
        startsWith(head, "GIF87a", 6) || startsWith(head, "GIF89a", 6))
        return true;
    if (startsWith(head, "RIFF", 4) && head.mid(8, 4) == "WEBP")
        return true;
    // "BM" alone starts many texts: the size of the header that follows must be a known one.
    if (startsWith(head, "BM", 2) && head.size() >= 18) {
        const quint32 info = littleEndian(head, 14, 4);
        for (const quint32 known : {12u, 40u, 52u, 56u, 64u, 108u, 124u})
            if (info == known)
                return true;
    }
    if (startsWith(head, "\0\0\1\0", 4) && head.size() >= 6 && littleEndian(head, 4, 2) > 0)
        return true;
    return isAvif(head) || isSvg(head);
}

QString ProductPictureProblem(const QString &path, const QString &dataFolder)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile())
        return {};
    // The dependency list has one path a line: a line end in the name would add a line.
    if (path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r')))
        return QStringLiteral("The product picture's name holds a line break; please rename it.");
    // The name given and the file it leads to both count: a link named shot.png may
    // lead to ftpinfo.ini.
    const QString real = info.canonicalFilePath();
    const QString manifests = QDir::cleanPath(QDir(dataFolder).absoluteFilePath(QStringLiteral("manifests")));
    const QString realManifests = QFileInfo(manifests).canonicalFilePath();
    bool own = isUnder(QDir::cleanPath(info.absoluteFilePath()), manifests) || isUnder(real, realManifests);
    for (const QString &name : {info.fileName(), QFileInfo(real).fileName()})
        own = own || name.endsWith(QLatin1String(".ini"), Qt::CaseInsensitive);
    if (own)
        return QStringLiteral("%1 is one of Quillmark's own files, not a product picture: it is never copied "
                              "beside a page.")
            .arg(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("The product picture %1 cannot be read.").arg(path);
    if (!IsPictureData(file.read(64 * 1024)))
        return QStringLiteral(
                   "%1 is not a picture. A product picture is a PNG, JPEG, GIF, WebP, BMP, ICO, AVIF "
                   "or SVG file.")
            .arg(path);
    // Found here, a picture that cannot be prepared is refused where it is chosen.
    return PictureReadProblem(path);
}

} // namespace generation

namespace generation {
namespace {

// The elements of HTML (with the SVG and MathML roots and the obsolete ones browsers
// still know), lower case.
const QSet<QString> &htmlElements()
{
    static const QSet<QString> names = [] {
        QSet<QString> set;
        for (const char *name :
             {"a",       "abbr",     "address",    "area",       "article",  "aside",    "audio",    "b",
              "base",    "bdi",      "bdo",        "blockquote", "body",     "br",       "button",   "canvas",
              "caption", "cite",     "code",       "col",        "colgroup", "data",     "datalist", "dd",
              "del",     "details",  "dfn",        "dialog",     "div",      "dl",       "dt",       "em",
              "embed",   "fieldset", "figcaption", "figure",     "footer",   "form",     "h1",       "h2",
              "h3",      "h4",       "h5",         "h6",         "head",     "header",   "hgroup",   "hr",
              "html",    "i",        "iframe",     "img",        "input",    "ins",      "kbd",      "label",
              "legend",  "li",       "link",       "main",       "map",      "mark",     "menu",     "meta",
              "meter",   "nav",      "noscript",   "object",     "ol",       "optgroup", "option",   "output",
              "p",       "param",    "picture",    "pre",        "progress", "q",        "rp",       "rt",
              "ruby",    "s",        "samp",       "script",     "search",   "section",  "select",   "slot",
              "small",   "source",   "span",       "strong",     "style",    "sub",      "summary",  "sup",
              "table",   "tbody",    "td",         "template",   "textarea", "tfoot",    "th",       "thead",
              "time",    "title",    "tr",         "track",      "u",        "ul",       "var",      "video",
              "wbr",     "svg",      "math",       "acronym",    "big",      "center",   "font",     "strike",
              "tt",      "marquee",  "nobr",       "image"})
            set.insert(QLatin1String(name));
        return set;
    }();
    return names;
}

bool nameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_') || c == QLatin1Char(':');
}

} // namespace

bool IsHtmlElement(const QString &name)
{
    return htmlElements().contains(name);
}

QStringList UnknownElementsIn(const QString &text)
{
    QStringList unknown;
    for (qsizetype at = text.indexOf(QLatin1Char('<')); at >= 0;
         at = text.indexOf(QLatin1Char('<'), at + 1)) {
        qsizetype i = at + 1;
        if (i < text.size() && text.at(i) == QLatin1Char('/'))
            ++i;
        if (i >= text.size() || !asciiLetter(text.at(i)))
            continue; // "a < b", "<3" and comments are text to a browser
        const qsizetype start = i;
        while (i < text.size() && nameChar(text.at(i)))
            ++i;
        const QString name = text.mid(start, i - start).toLower();
        if (name.contains(QLatin1Char('-')) || name.startsWith(QLatin1String("zor_")) ||
            htmlElements().contains(name) || unknown.contains(name))
            continue;
        unknown << name;
    }
    return unknown;
}

QStringList UnknownElementWarnings(const PageData &data)
{
    QStringList warnings;
    for (const Field &field : Fields()) {
        // Links and the picture go into attributes, where a tag is escaped, not lost.
        if (field.caption.isEmpty() || !field.link.isEmpty() ||
            field.name == QLatin1String("txtProductImage"))
            continue;
        QString text;
        if (field.kind == FieldKind::Text)
            text = data.*field.text;
        else
            for (const ListRow &row : data.*field.rows)
                text += row.text + QLatin1Char(' ') + row.subItems.join(QLatin1Char(' ')) + QLatin1Char(' ');
        const QStringList unknown = UnknownElementsIn(text);
        if (unknown.isEmpty())
            continue;
        warnings << QStringLiteral("The answer \"%1\" holds <%2>, which is no HTML element: the page shows "
                                   "nothing of it. Write &lt;%2&gt; to show the text.")
                        .arg(field.caption, unknown.first());
    }
    return warnings;
}

} // namespace generation
