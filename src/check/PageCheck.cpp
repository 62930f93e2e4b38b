#include "check/PageCheck.h"

#include "check/ParseGuard.h"
#include "generation/AnswerSafety.h"
#include "generation/FileList.h"
#include "generation/PublishedPage.h"
#include "generation/Variants.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <gumbo.h>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
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
    QByteArray bytes; // what is read: for the page, its published copy
    QByteArray file;  // the page as on disk, which line and column refer to
    std::vector<generation::Cut> cuts;
    std::unique_ptr<LineIndex> index;
    QString folder;
};

// A page saved as UTF-16 with its byte-order mark, as a browser reads it; any other as it is.
QByteArray asUtf8(const QByteArray &bytes)
{
    const bool little = bytes.startsWith("\xFF\xFE"), big = bytes.startsWith("\xFE\xFF");
    if (!little && !big)
        return bytes;
    QStringDecoder decode(little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
    return QString(decode(bytes.mid(2))).toUtf8();
}

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

// By file (the page first), then line and column.
void SortFindings(Report &report)
{
    const QString pagePath = report.page;
    std::stable_sort(report.findings.begin(), report.findings.end(), [&](const Finding &a, const Finding &b) {
        const bool pa = a.file == pagePath, pb = b.file == pagePath;
        if (pa != pb)
            return pa;
        if (a.file != b.file)
            return a.file < b.file;
        return std::pair(a.line, a.column) < std::pair(b.line, b.column);
    });
}

class Checker {
public:
    Checker(const QString &pagePath, qint64 maxBytes) : m_maxBytes(maxBytes) { m_report.page = pagePath; }

    QStringList references() const { return m_references; }
    // Checks `bytes` as the page's content instead of what the file holds.
    void setContent(const QByteArray &bytes) { m_content = bytes; }

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
            m_page.file = asUtf8(m_content ? *m_content : file.read(file.size())); // as when looked at
        // The page is checked as publishing sends it; findings point into the file.
        m_page.bytes = generation::PublishedBytes(m_page.file, &m_page.cuts);
        m_page.index = std::make_unique<LineIndex>(m_page.file);
        if (tooLarge) {
            add(m_page, 0, Severity::Error, QStringLiteral("too-large"),
                QStringLiteral("The page is %1, over the limit of %2; it was not checked")
                    .arg(sizeText(file.size()), sizeText(m_maxBytes)));
            return sorted();
        }
        m_weight = m_page.bytes.size();
        m_counted.insert(key(pagePath));
        readFileList(generation::FileList::PathFor(pagePath));

        findPlaceholders();
        // Twice the limit: the estimate runs ahead of the real depth on some pages. A
        // hundred steps a byte are about a fifth of a second a megabyte.
        const Refusal refused = ScanTags(m_page.bytes, 2 * kMaxNesting, 100);
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
        if (m_addressKnown)
            for (const auto &[offset, name] : m_relativeShareImages)
                add(m_page, offset, Severity::Error, QStringLiteral("share-image-relative"),
                    QStringLiteral("%1 is a relative address, which link previews ignore; the page's web "
                                   "address is known, so it can be absolute")
                        .arg(name));
        // A vendor can show that the page tells no one about its visitors.
        for (const auto &[host, offset] : m_contacts)
            if (!m_ownHosts.contains(host))
                add(m_page, offset, Severity::Warning, QStringLiteral("contacts-host"),
                    QStringLiteral("The page contacts another host: %1").arg(host));
        m_mobileWeight += m_page.bytes.size();
        m_report.phoneBytes = m_mobileWeight;
        // One weight finding: a page too heavy as a whole is too heavy for a phone too.
        if (m_mobileWeight > kMaxPhoneBytes && m_weight <= kMaxPageBytes)
            add(m_page, 0, Severity::Warning, QStringLiteral("phone-weight"),
                QStringLiteral("At %1 px the page, its style sheets and the pictures it shows weigh %2 KB, "
                               "over %3 KB")
                    .arg(kPhoneWidth)
                    .arg((m_mobileWeight + 1023) / 1024)
                    .arg(kMaxPhoneBytes / 1024));
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
        SortFindings(m_report);
        return m_report;
    }

    static QString key(const QString &path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

    // Past kMaxFindingsPerRule findings of a rule, the rest are only counted: a page made
    // of faults would otherwise give a report larger than itself.
    void add(const Source &source, qsizetype offset, Severity severity, const QString &rule,
             const QString &message)
    {
        const auto [line, column] = source.index->at(generation::OffsetInPage(source.cuts, offset));
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
                QStringLiteral("There is no file list %1: the page and the local files it refers to "
                               "would be published")
                    .arg(QFileInfo(listPath).fileName()));
            return;
        }
        for (const QString &line : generation::FileList::Parse(list.read(list.size())))
            m_listed.insert(key(line));
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
        // As a browser reads an address: no spaces around it, no tabs or line breaks in it.
        url = url.trimmed();
        url.remove(QLatin1Char('\t')).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
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
            if (kind == Kind::Resource)
                contact(parsed.host(), offset);
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
        localFile(source, offset, url, path, stylesheet, kind);
    }

    void localFile(const Source &source, qsizetype offset, const QString &url, const QString &path,
                   bool stylesheet, Kind kind)
    {
        const QFileInfo info(path);
        // A page may name one file many times (or a srcset thousands of names): one look each.
        auto known = m_files.find(path);
        if (known == m_files.end())
            known = m_files.insert(path, {info.isFile(), info.isFile() ? info.size() : 0});
        const QString k = key(path);
        // A missing picture or style sheet is named too, to fail a publish that would put
        // the page up without it; a link may lead to what only the server holds.
        if ((known->isFile || (kind == Kind::Resource && !info.exists())) && !m_referenced.contains(k) &&
            k != key(m_page.path)) {
            m_referenced.insert(k);
            m_references << k;
        }
        if (!known->isFile) {
            add(source, offset, Severity::Error, QStringLiteral("missing-file"),
                QStringLiteral("The file %1 does not exist").arg(url));
            return;
        }
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
        const bool picture = kPictureSuffixes.contains(info.suffix().toLower());
        const bool sheet =
            stylesheet || info.suffix().compare(QLatin1String("css"), Qt::CaseInsensitive) == 0;
        const bool shown = kind == Kind::Resource && (m_mobilePick.isEmpty() || m_mobilePick == url);
        if ((sheet || (picture && shown)) && !m_mobileCounted.contains(k)) {
            m_mobileCounted.insert(k);
            m_mobileWeight += size;
        }
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
        m_mobilePick = pictureLoadedAtPhoneWidth(node);
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
            if (content &&
                (property == QLatin1String("og:image") || name == QLatin1String("twitter:image"))) {
                const QString value = QString::fromUtf8(content->value);
                if (schemeOf(value).isEmpty() && !value.trimmed().startsWith(QLatin1String("//")))
                    m_relativeShareImages.push_back(
                        {valueOffset(e, content), property.isEmpty() ? name : property});
                m_mobilePick = kNotLoaded; // a link preview's picture, not the page's
                reference(m_page, valueOffset(e, content), value, Kind::Resource);
                m_mobilePick.clear();
            } else if (content && property == QLatin1String("og:url")) {
                noteAddress(QString::fromUtf8(content->value));
                reference(m_page, valueOffset(e, content), QString::fromUtf8(content->value), Kind::Link);
            }
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
            if (!hasAttribute(e, "width") || !hasAttribute(e, "height"))
                add(m_page, start, Severity::Warning, QStringLiteral("img-size"),
                    QStringLiteral("The picture has no width and height: the page jumps when it arrives"));
            if (!m_pictureSeen && attribute(e, "loading").trimmed().toLower() == QLatin1String("lazy"))
                add(m_page, start, Severity::Warning, QStringLiteral("first-picture-lazy"),
                    QStringLiteral(
                        "The first picture is lazy-loaded: it shows late, at the top of the page"));
            m_pictureSeen = true;
            break;
        case GUMBO_TAG_LINK:
            if (attribute(e, "rel").toLower().split(QLatin1Char(' ')).contains(QLatin1String("canonical")))
                noteAddress(attribute(e, "href"));
            break;
        case GUMBO_TAG_UNKNOWN:
            if (e.tag_namespace == GUMBO_NAMESPACE_HTML)
                unknownElement(e);
            break;
        case GUMBO_TAG_SCRIPT:
            scriptAddresses(e);
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
        m_mobilePick.clear();
    }

    // --- What a phone loads ---

    // Of an <img> or a <picture>'s <source>, the address a phone of kPhoneWidth px loads
    // (1x): the smallest width candidate that fills it, else the largest; a density
    // candidate of 1x; else src. kNotLoaded for a candidate list the browser passes over;
    // "" for any other element (everything it loads counts).
    QString pictureLoadedAtPhoneWidth(const GumboNode *node)
    {
        const GumboElement &e = node->v.element;
        const GumboNode *parent = node->parent;
        const bool inPicture = parent && parent->type == GUMBO_NODE_ELEMENT && isPicture(parent->v.element);
        if (isPicture(e))
            m_sourceChosen = false;
        if (e.tag == GUMBO_TAG_SOURCE && inPicture) {
            if (m_sourceChosen)
                return kNotLoaded;
            m_sourceChosen = true;
        } else if (e.tag != GUMBO_TAG_IMG) {
            return {};
        } else if (inPicture && m_sourceChosen) {
            return kNotLoaded;
        }
        QString best;
        int bestWidth = 0;
        bool fills = false;
        for (const QString &candidate : attribute(e, "srcset").split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QStringList parts = candidate.simplified().split(QLatin1Char(' '));
            const QString descriptor = parts.value(1).toLower();
            if (descriptor.isEmpty() || descriptor == QLatin1String("1x")) {
                if (bestWidth == 0)
                    best = parts.value(0);
                continue;
            }
            if (!descriptor.endsWith(QLatin1Char('w')))
                continue;
            const int width = descriptor.chopped(1).toInt();
            const bool fillsPhone = width >= kPhoneWidth;
            if (best.isEmpty() || bestWidth == 0 || (fillsPhone && (!fills || width < bestWidth)) ||
                (!fillsPhone && !fills && width > bestWidth)) {
                best = parts.value(0);
                bestWidth = width;
                fills = fillsPhone;
            }
        }
        if (best.isEmpty())
            best = attribute(e, "src").trimmed();
        return best.isEmpty() ? kNotLoaded : best;
    }

    void noteAddress(const QString &address)
    {
        const QString scheme = schemeOf(address);
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
            m_addressKnown = true;
            m_ownHosts.insert(siteOf(QUrl(address.trimmed()).host()));
        }
    }

    // A host and its "www." name are one site.
    static QString siteOf(const QString &host)
    {
        const QString lower = host.toLower();
        return lower.startsWith(QLatin1String("www.")) ? lower.mid(4) : lower;
    }

    // Something the browser loads or sends to `host` (found at `offset`).
    void contact(const QString &host, qsizetype offset)
    {
        if (host.isEmpty())
            return;
        for (const auto &seen : m_contacts)
            if (seen.first == siteOf(host))
                return;
        m_contacts.push_back({siteOf(host), offset});
    }

    // Addresses written in a script's strings: where it loads from or sends to.
    void scriptAddresses(const GumboElement &e)
    {
        const QString type = attribute(e, "type").trimmed().toLower();
        if (!(type.isEmpty() || type == QLatin1String("module") ||
              type.contains(QLatin1String("javascript")) || type.contains(QLatin1String("ecmascript"))) ||
            hasAttribute(e, "src"))
            return;
        static const QRegularExpression address(QStringLiteral(
            R"(["'`](?:[A-Za-z][A-Za-z0-9+.-]*:)?//([A-Za-z0-9](?:[A-Za-z0-9.-]*[A-Za-z0-9])?))"));
        for (unsigned i = 0; i < e.children.length; ++i) {
            const auto *child = static_cast<const GumboNode *>(e.children.data[i]);
            if (child->type != GUMBO_NODE_TEXT && child->type != GUMBO_NODE_WHITESPACE &&
                child->type != GUMBO_NODE_CDATA)
                continue;
            const QString text = QString::fromUtf8(child->v.text.original_text.data,
                                                   qsizetype(child->v.text.original_text.length));
            for (auto it = address.globalMatch(text); it.hasNext();) {
                const auto m = it.next();
                contact(m.captured(1),
                        child->v.text.start_pos.offset + text.left(m.capturedStart(1)).toUtf8().size());
            }
        }
    }

    // The name of an element as written (the parser knows no newer ones, such as <picture>).
    static QString tagName(const GumboElement &e)
    {
        if (e.tag != GUMBO_TAG_UNKNOWN)
            return QString::fromUtf8(gumbo_normalized_tagname(e.tag));
        GumboStringPiece tag = e.original_tag;
        gumbo_tag_from_original_text(&tag);
        return QString::fromUtf8(tag.data, int(tag.length)).toLower();
    }
    static bool isPicture(const GumboElement &e)
    {
        return e.tag == GUMBO_TAG_UNKNOWN && tagName(e) == QLatin1String("picture");
    }

    void unknownElement(const GumboElement &e)
    {
        const QString name = tagName(e);
        // Custom elements are elements; a tag the parser made up has no text of its own.
        if (name.isEmpty() || name.contains(QLatin1Char('-')) || generation::IsHtmlElement(name) ||
            name.startsWith(QLatin1String("zor_"))) // a placeholder left: a finding of its own
            return;
        add(m_page, e.start_pos.offset, Severity::Warning, QStringLiteral("unknown-element"),
            QStringLiteral("<%1> is no HTML element: the page shows nothing of it (to show the text, write "
                           "&lt;%1&gt; in the answer)")
                .arg(name.toHtmlEscaped().left(80)));
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
            // Loads nothing the page shows, but still opens a connection to the host.
            static const QRegularExpression connects(
                QStringLiteral(R"(\b(preconnect|dns-prefetch|prefetch|prerender)\b)"));
            if (connects.match(rel).hasMatch() && !loaded.match(rel).hasMatch())
                contact(QUrl(value.trimmed().startsWith(QLatin1String("//"))
                                 ? QStringLiteral("https:") + value.trimmed()
                                 : value.trimmed())
                            .host(),
                        valueOffset(e, a));
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
    QSet<QString> m_referenced;
    QStringList m_references; // local files referred to, in the order first met
    qint64 m_weight = 0;
    QSet<QString> m_ids;
    std::vector<std::pair<QString, qsizetype>> m_anchorLinks;
    bool m_titleSeen = false;
    bool m_descriptionSeen = false;
    qsizetype m_headOffset = -1;
    bool m_pictureSeen = false;
    std::optional<QByteArray> m_content;
    QSet<QString> m_ownHosts; // the page's own site, from its canonical link or og:url
    std::vector<std::pair<QString, qsizetype>> m_contacts; // hosts loaded from or sent to, first seen
    bool m_addressKnown = false; // a canonical link or og:url gives the page's web address
    std::vector<std::pair<qsizetype, QString>> m_relativeShareImages;
    QString m_mobilePick;        // see pictureLoadedAtPhoneWidth
    bool m_sourceChosen = false; // in the current <picture>
    QSet<QString> m_mobileCounted;
    qint64 m_mobileWeight = 0;
    static inline const QString kNotLoaded = QStringLiteral("\n");
};

} // namespace

QStringList LocalReferences(const QString &pagePath, qint64 maxBytes)
{
    Checker checker(pagePath, maxBytes);
    checker.run();
    return checker.references();
}

namespace {

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
    Report report = Checker(pagePath, maxBytes).run();
    // A page with two versions: version B is checked as its visitors see it, and what
    // only B gets wrong is reported as B's.
    QFile file(pagePath);
    if (file.size() > maxBytes || !file.open(QIODevice::ReadOnly))
        return report;
    const QByteArray bytes = file.readAll();
    if (!bytes.contains("<template id=\"qm-variant-b\">"))
        return report;
    Checker b(pagePath, maxBytes);
    b.setContent(generation::ShowVariant(QString::fromUtf8(bytes), 'b').toUtf8());
    QSet<QString> seen;
    for (const Finding &f : report.findings)
        seen.insert(f.rule + QLatin1Char('\n') + f.message);
    for (Finding f : b.run().findings) {
        if (seen.contains(f.rule + QLatin1Char('\n') + f.message))
            continue;
        f.message = QStringLiteral("In version B: ") + f.message;
        report.findings.push_back(f);
    }
    SortFindings(report);
    return report;
}

QString ToText(const Report &report)
{
    // One finding a line, as the tools that read this form expect, whatever a message
    // quotes from the page.
    const auto oneLine = [](QString s) {
        return s.replace(QLatin1Char('\r'), QLatin1String("\\r"))
            .replace(QLatin1Char('\n'), QLatin1String("\\n"));
    };
    QString text;
    for (const Finding &f : report.findings)
        text += QStringLiteral("%1:%2:%3: %4: %5: %6\n")
                    .arg(oneLine(f.file))
                    .arg(f.line)
                    .arg(f.column)
                    .arg(severityName(f.severity), f.rule, oneLine(f.message));
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
            !QFileInfo::exists(generation::FileList::PathFor(path)))
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
