#include "check/PageCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <algorithm>
#include <gumbo.h>
#include <memory>
#include <vector>

namespace check {
namespace {

// Line and column of a byte offset, columns counted in characters as an editor shows them.
class LineIndex {
public:
    explicit LineIndex(const QByteArray &bytes) : m_bytes(bytes)
    {
        m_starts.push_back(0);
        for (qsizetype i = bytes.indexOf('\n'); i >= 0; i = bytes.indexOf('\n', i + 1))
            m_starts.push_back(i + 1);
    }
    std::pair<int, int> at(qsizetype offset) const
    {
        offset = std::clamp<qsizetype>(offset, 0, m_bytes.size());
        const auto it = std::upper_bound(m_starts.begin(), m_starts.end(), offset) - 1;
        const qsizetype start = *it;
        QString prefix = QString::fromUtf8(m_bytes.constData() + start, offset - start);
        if (prefix.endsWith(QLatin1Char('\r')))
            prefix.chop(1);
        return {int(it - m_starts.begin()) + 1, int(prefix.size()) + 1};
    }

private:
    const QByteArray &m_bytes;
    std::vector<qsizetype> m_starts;
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

const QStringList kPictureSuffixes = {"png", "jpg", "jpeg", "gif", "webp", "svg", "avif", "bmp", "ico"};

// Elements never nest (void) or close themselves when the next one opens: neither
// deepens a page.
const QSet<QByteArray> kFlatElements = {
    "area",   "base",  "br",    "col",   "embed",    "hr", "img", "input",  "link",     "meta", "param",
    "source", "track", "wbr",   "p",     "li",       "dt", "dd",  "option", "optgroup", "tr",   "td",
    "th",     "tbody", "thead", "tfoot", "colgroup", "rb", "rt",  "rp",     "rtc"};
const QSet<QByteArray> kRawTextElements = {"script", "style",   "textarea", "title",    "xmp",
                                           "iframe", "noembed", "noframes", "plaintext"};

// Offset where the elements of the page nest deeper than `limit`, roughly as a parser
// would nest them, or -1. The parser's time grows with the square of the depth and its
// teardown recurses, so such a page is not parsed at all.
qsizetype tooDeepAt(const QByteArray &b, int limit)
{
    const qsizetype n = b.size();
    int depth = 0;
    char name[16]; // long names are in neither set
    for (qsizetype i = b.indexOf('<'); i >= 0 && i < n; i = b.indexOf('<', i)) {
        if (i + 3 < n && b[i + 1] == '!' && b[i + 2] == '-' && b[i + 3] == '-') {
            i = b.indexOf("-->", i + 4);
            if (i < 0)
                break;
            continue;
        }
        const bool closing = i + 1 < n && b[i + 1] == '/';
        const qsizetype start = i + (closing ? 2 : 1);
        qsizetype end = start;
        while (end < n && (isalnum(uchar(b[end])) || b[end] == '-' || b[end] == ':' || b[end] == '_'))
            ++end;
        const qsizetype close = b.indexOf('>', end);
        if (end == start || close < 0) {
            ++i;
            continue;
        }
        const qsizetype length = end - start;
        for (qsizetype k = 0; k < length && k < qsizetype(sizeof name); ++k)
            name[k] = char(tolower(uchar(b[start + k])));
        const QByteArray known =
            length < qsizetype(sizeof name) ? QByteArray::fromRawData(name, length) : QByteArray();
        if (closing) {
            depth = qMax(0, depth - 1);
        } else if (b[close - 1] != '/' && !kFlatElements.contains(known)) {
            if (++depth > limit)
                return i;
        }
        i = close + 1;
        if (!closing && kRawTextElements.contains(known)) {
            // Up to the element's end tag, in any letter case.
            for (i = b.indexOf("</", i); i >= 0; i = b.indexOf("</", i + 2))
                if (i + 2 + length <= n && qstrnicmp(b.constData() + i + 2, name, length) == 0)
                    break;
            if (i < 0)
                break;
        }
    }
    return -1;
}

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

// Whether a link or button says anything: text, a label, or a picture.
bool hasTextOrPicture(const GumboNode *node)
{
    std::vector<const GumboNode *> stack{node};
    while (!stack.empty()) {
        const GumboNode *n = stack.back();
        stack.pop_back();
        if (n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_CDATA) {
            if (!QString::fromUtf8(n->v.text.text).trimmed().isEmpty())
                return true;
            continue;
        }
        if (n->type != GUMBO_NODE_ELEMENT && n->type != GUMBO_NODE_TEMPLATE)
            continue;
        const GumboElement &e = n->v.element;
        if (e.tag == GUMBO_TAG_IMG || e.tag == GUMBO_TAG_SVG || e.tag == GUMBO_TAG_CANVAS ||
            e.tag == GUMBO_TAG_VIDEO)
            return true;
        for (const char *label : {"aria-label", "aria-labelledby", "title"})
            if (!attribute(e, label).trimmed().isEmpty())
                return true;
        if (e.tag == GUMBO_TAG_INPUT && !attribute(e, "value").trimmed().isEmpty())
            return true;
        for (unsigned i = 0; i < e.children.length; ++i)
            stack.push_back(static_cast<const GumboNode *>(e.children.data[i]));
    }
    return false;
}

class Checker {
public:
    explicit Checker(const QString &pagePath) { m_report.page = pagePath; }

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
        m_page.bytes = file.readAll();
        m_page.index = std::make_unique<LineIndex>(m_page.bytes);
        m_page.folder = QFileInfo(pagePath).absolutePath();
        m_weight = m_page.bytes.size();
        m_counted.insert(key(pagePath));
        readFileList(pagePath + QStringLiteral(".files"));

        findPlaceholders();
        const qsizetype deep = tooDeepAt(m_page.bytes, kMaxNesting);
        if (deep >= 0) {
            add(m_page, deep, Severity::Error, QStringLiteral("too-deep"),
                QStringLiteral("Elements nest more than %1 deep here, more than browsers follow; the rest of "
                               "the page was not checked")
                    .arg(kMaxNesting));
            return sorted();
        }
        GumboOptions options = kGumboDefaultOptions;
        options.max_errors = 0; // the parse errors are not reported: keep no list of them
        GumboOutput *output =
            gumbo_parse_with_options(&options, m_page.bytes.constData(), m_page.bytes.size());
        walk(output->root);
        gumbo_destroy_output(&options, output);
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
    Report sorted()
    {
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

    void add(const Source &source, qsizetype offset, Severity severity, const QString &rule,
             const QString &message)
    {
        const auto [line, column] = source.index->at(offset);
        m_report.findings.push_back({source.path, line, column, severity, rule, message});
    }

    void readFileList(const QString &listPath)
    {
        QFile list(listPath);
        m_haveList = list.open(QIODevice::ReadOnly);
        if (!m_haveList) {
            add(m_page, 0, Severity::Warning, QStringLiteral("no-file-list"),
                QStringLiteral("There is no file list %1: only the page itself would be published")
                    .arg(QFileInfo(listPath).fileName()));
            return;
        }
        for (const QByteArray &raw : list.readAll().split('\n')) {
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
        if (!info.isFile()) {
            add(source, offset, Severity::Error, QStringLiteral("missing-file"),
                QStringLiteral("The file %1 does not exist").arg(url));
            return;
        }
        const QString k = key(path);
        if (m_haveList && !m_listed.contains(k))
            add(source, offset, Severity::Warning, QStringLiteral("not-listed"),
                QStringLiteral("%1 is not in the file list, so it would not be published").arg(url));
        if (kPictureSuffixes.contains(info.suffix().toLower()) && info.size() > kMaxPictureBytes)
            add(source, offset, Severity::Warning, QStringLiteral("large-picture"),
                QStringLiteral("The picture %1 is %2 KB, over %3 KB")
                    .arg(url)
                    .arg((info.size() + 1023) / 1024)
                    .arg(kMaxPictureBytes / 1024));
        if (!m_counted.contains(k)) {
            m_counted.insert(k);
            m_weight += info.size();
            if (stylesheet || info.suffix().compare(QLatin1String("css"), Qt::CaseInsensitive) == 0)
                styleSheet(path);
        }
    }

    void styleSheet(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || m_sheets.size() > 200)
            return;
        auto sheet = std::make_unique<Source>();
        sheet->path = path;
        sheet->bytes = file.readAll();
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
                const qsizetype end = b.indexOf("*/", i + 2);
                i = end < 0 || end >= to ? to : end + 2;
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
                    end = b.indexOf(')', i);
                    if (end < 0 || end > to)
                        end = to;
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
        case GUMBO_TAG_A:
        case GUMBO_TAG_BUTTON:
            if ((e.tag == GUMBO_TAG_BUTTON || hasAttribute(e, "href")) && !hasTextOrPicture(node))
                add(m_page, start, Severity::Error, QStringLiteral("empty-link"),
                    e.tag == GUMBO_TAG_A ? QStringLiteral("The link has no text and no picture")
                                         : QStringLiteral("The button has no text and no picture"));
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
        for (const QString &candidate : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString url = candidate.trimmed().section(QLatin1Char(' '), 0, 0);
            const qsizetype inOriginal = original.indexOf(url.toUtf8());
            reference(m_page, inOriginal >= 0 ? rawStart + inOriginal : base, url, Kind::Resource);
        }
    }

    void walk(const GumboNode *root)
    {
        std::vector<const GumboNode *> stack{root};
        while (!stack.empty()) {
            const GumboNode *n = stack.back();
            stack.pop_back();
            if (n->type != GUMBO_NODE_ELEMENT && n->type != GUMBO_NODE_TEMPLATE)
                continue;
            element(n);
            const GumboVector &c = n->v.element.children;
            for (unsigned i = c.length; i > 0; --i)
                stack.push_back(static_cast<const GumboNode *>(c.data[i - 1]));
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

Report CheckPage(const QString &pagePath)
{
    return Checker(pagePath).run();
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
