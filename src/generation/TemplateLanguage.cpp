#include "generation/TemplateLanguage.h"

#include "generation/Fields.h"
#include "generation/SearchData.h"
#include "generation/modTemplates.h"

#include <QRegularExpression>
#include <QSet>
#include <vector>

namespace generation {
namespace {

bool isBlank(const QString &text)
{
    return text.trimmed().isEmpty();
}

// Block markers are never rewritten: the blocks are found by their markers.
const QStringList kBlockNames = {QStringLiteral("PAGE_DATA_TESTIMONIAL_1"),
                                 QStringLiteral("PAGE_DATA_TESTIMONIAL_2"),
                                 QStringLiteral("PAGE_DATA_IMAGE"),
                                 QStringLiteral("PAGE_DATA_FAQ"),
                                 QStringLiteral("PAGE_DATA_FEATURES"),
                                 QStringLiteral("PAGE_DATA_TRY"),
                                 QStringLiteral("PAGE_DATA_TRY_REQUIREMENTS"),
                                 QStringLiteral("PAGE_DATA_TRY_PROBLEMS"),
                                 QStringLiteral("PAGE_DATA_NOT_CONVINCED")};

// Item placeholders of the repeated blocks: their conditions are decided per row.
const QStringList kRowItemNames = {
    QStringLiteral("PAGE_DATA_FAQ_QUESTION"),          QStringLiteral("PAGE_DATA_FAQ_ANSWER"),
    QStringLiteral("PAGE_DATA_FEATURES_NAME"),         QStringLiteral("PAGE_DATA_FEATURES_DETAILS"),
    QStringLiteral("PAGE_DATA_TESTIMONIAL_NAME_1"),    QStringLiteral("PAGE_DATA_TESTIMONIAL_CONTACT_1"),
    QStringLiteral("PAGE_DATA_TESTIMONIAL_INFO_1"),    QStringLiteral("PAGE_DATA_TESTIMONIAL_NAME_2"),
    QStringLiteral("PAGE_DATA_TESTIMONIAL_CONTACT_2"), QStringLiteral("PAGE_DATA_TESTIMONIAL_INFO_2")};

int testimonialRowsInFirstBlock(int n)
{
    return n == 0 ? 0 : (n <= 2 ? 1 : 2);
}

// Whether the answer in `field` is given: a text that is not blank, a list with rows.
bool isSet(const Field &field, const PageData &d)
{
    return field.kind == FieldKind::List ? !(d.*field.rows).isEmpty() : !isBlank(d.*field.text);
}

const QChar kAttributeOpen(0xFDD0); // noncharacters: never part of a template's own text
const QChar kScriptOpen(0xFDD2);
const QChar kFormClose(0xFDD1);

// Length of an upper-case placeholder "<ZOR_…>" at `at`, or 0.
qsizetype placeholderAt(const QString &text, qsizetype at)
{
    if (!QStringView(text).mid(at).startsWith(QLatin1String("<ZOR_")))
        return 0;
    qsizetype i = at + 5;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('>'))
            return i > at + 5 ? i - at + 1 : 0;
        if (!((c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
              (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_')))
            return 0;
        ++i;
    }
    return 0;
}

} // namespace

QString EscapeAttribute(const QString &text)
{
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '\'': // single-quoted attribute values too
            out += QLatin1String("&#39;");
            break;
        case 0xFDD0: // the engine's own placeholder marks: a value carrying one would
        case 0xFDD1: // have a later answer placed unseen in its attribute
        case 0xFDD2:
            out += QChar(QChar::ReplacementCharacter);
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString EscapeJsonString(const QString &text)
{
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        switch (u) {
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            // Line and paragraph separators end a line in older script parsers.
            // The engine's placeholder marks likewise (see EscapeAttribute).
            if (u < 0x20 || u == '<' || u == '>' || u == '&' || u == 0x2028 || u == 0x2029 ||
                (u >= 0xFDD0 && u <= 0xFDD2))
                out += QStringLiteral("\\u%1").arg(unsigned(u), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out;
}

bool HasConditionalMarkers(const QString &text)
{
    // A case-insensitive search of a whole page is slow; underscores are few.
    for (qsizetype i = text.indexOf(QLatin1Char('_')); i >= 0; i = text.indexOf(QLatin1Char('_'), i + 1)) {
        if (i >= 3 &&
            QStringView(text).mid(i - 3, 3).compare(QLatin1String("ZOR"), Qt::CaseInsensitive) == 0 &&
            QStringView(text).mid(i + 1, 2).compare(QLatin1String("IF"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString ResolveConditionalBlocks(const QString &text, const ConditionLookup &isSet)
{
    static const QRegularExpression marker(QStringLiteral(R"(<(/?)ZOR_(IFNOT|IF)_([A-Za-z0-9_]+)>)"),
                                           QRegularExpression::CaseInsensitiveOption);
    if (!HasConditionalMarkers(text))
        return text;
    struct Token {
        qsizetype start, end;
        bool closing, negated;
        QString name;
        int partner = -1;
        bool deferred = false;
    };
    std::vector<Token> tokens;
    for (auto it = marker.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        tokens.push_back({m.capturedStart(), m.capturedEnd(), !m.capturedView(1).isEmpty(),
                          m.capturedView(2).size() == 5, m.captured(3).toUpper()});
    }
    // Pair each closing marker with the nearest open one of the same kind and name;
    // open markers between them have lost their partner.
    std::vector<int> open;
    for (int i = 0; i < int(tokens.size()); ++i) {
        if (!tokens[i].closing) {
            open.push_back(i);
            continue;
        }
        for (int s = int(open.size()) - 1; s >= 0; --s) {
            Token &o = tokens[open[s]];
            if (o.negated == tokens[i].negated && o.name == tokens[i].name) {
                o.partner = i;
                tokens[i].partner = open[s];
                open.resize(s);
                break;
            }
        }
    }
    QString out;
    out.reserve(text.size());
    qsizetype from = 0;
    for (int i = 0; i < int(tokens.size()); ++i) {
        Token &t = tokens[i];
        out += QStringView(text).mid(from, t.start - from);
        from = t.end;
        if (t.partner < 0)
            continue; // a lone marker goes, the text around it stays
        if (t.closing) {
            if (t.deferred)
                out += QStringView(text).mid(t.start, t.end - t.start);
            continue;
        }
        const std::optional<bool> set = isSet(t.name);
        if (!set) {
            t.deferred = tokens[t.partner].deferred = true;
            out += QStringView(text).mid(t.start, t.end - t.start);
            continue;
        }
        if (*set == t.negated) { // the body goes, with everything nested in it
            i = t.partner;
            from = tokens[i].end;
        }
    }
    out += QStringView(text).mid(from);
    return out;
}

std::optional<bool> IsSetInRecord(const QString &name, const PageData &d)
{
    if (kRowItemNames.contains(name))
        return std::nullopt;
    const int n = d.lvwTestimonial.size();
    const int k = testimonialRowsInFirstBlock(n);
    if (name == QLatin1String("PAGE_DATA_TESTIMONIAL_1"))
        return k > 0;
    if (name == QLatin1String("PAGE_DATA_TESTIMONIAL_2"))
        return n > k;
    if (name == QLatin1String("PAGE_DATA_IMAGE_SOURCE"))
        return !ImageNameRule(d.txtProductImage).isEmpty();
    // Addresses count as given only when they can be made absolute.
    if (name == QLatin1String("PAGE_DATA_PAGE_URL"))
        return !PageAddress(d).isEmpty();
    if (name == QLatin1String("PAGE_DATA_IMAGE_URL"))
        return !AddressBeside(PageAddress(d), ImageNameRule(d.txtProductImage)).isEmpty();
    for (const Field &field : Fields()) {
        if (field.placeholders.contains(name))
            return isSet(field, d);
    }
    return false;
}

QString PlaceholderForm(const QString &placeholder, PlaceholderContext context)
{
    if (context == PlaceholderContext::Text)
        return placeholder;
    const QChar open = context == PlaceholderContext::Attribute ? kAttributeOpen : kScriptOpen;
    return open + placeholder.mid(1, placeholder.size() - 2) + kFormClose;
}

QString RestorePlaceholderForms(const QString &text)
{
    if (!text.contains(kFormClose))
        return text;
    static const QRegularExpression form(QStringLiteral(u"[\uFDD0\uFDD2](ZOR_[A-Z0-9_]+)\uFDD1"));
    QString out = text;
    out.replace(form, QStringLiteral("<\\1>"));
    return out;
}

QString MarkPlaceholderContexts(const QString &t)
{
    QString out;
    out.reserve(t.size() + 64);
    const qsizetype n = t.size();
    qsizetype i = 0;
    // Copies a placeholder at `i` in the given context and moves past it; false when none is there.
    auto takePlaceholder = [&](PlaceholderContext context) {
        const qsizetype len = placeholderAt(t, i);
        if (len == 0)
            return false;
        const QString token = t.mid(i, len);
        const bool isBlock = kBlockNames.contains(token.mid(5, len - 6));
        out += isBlock ? token : PlaceholderForm(token, context);
        i += len;
        return true;
    };
    auto isLetter = [](QChar c) { return c.isLetter(); };

    while (i < n) {
        const QChar c = t.at(i);
        if (c != QLatin1Char('<')) {
            qsizetype next = t.indexOf(QLatin1Char('<'), i);
            if (next < 0)
                next = n;
            out += QStringView(t).mid(i, next - i); // text up to the next tag, in one piece
            i = next;
            continue;
        }
        if (takePlaceholder(PlaceholderContext::Text))
            continue;
        if (QStringView(t).mid(i).startsWith(QLatin1String("<!--"))) {
            const qsizetype end = t.indexOf(QLatin1String("-->"), i + 4);
            const qsizetype stop = end < 0 ? n : end + 3;
            out += QStringView(t).mid(i, stop - i);
            i = stop;
            continue;
        }
        const QChar next = i + 1 < n ? t.at(i + 1) : QChar();
        const bool closing = next == QLatin1Char('/');
        if (!(isLetter(next) || next == QLatin1Char('!') || next == QLatin1Char('?') ||
              (closing && i + 2 < n && isLetter(t.at(i + 2))))) {
            out += c; // a lone "<" in text
            ++i;
            continue;
        }
        // A tag: up to the first ">" outside a quoted attribute value.
        qsizetype nameEnd = i + (closing ? 2 : 1);
        while (nameEnd < n && (t.at(nameEnd).isLetterOrNumber() || t.at(nameEnd) == QLatin1Char('-')))
            ++nameEnd;
        const QString tagName = t.mid(i + (closing ? 2 : 1), nameEnd - i - (closing ? 2 : 1)).toLower();
        out += QStringView(t).mid(i, nameEnd - i);
        i = nameEnd;
        QChar quote;
        QChar lastSignificant;
        while (i < n) {
            if (takePlaceholder(PlaceholderContext::Attribute))
                continue;
            const QChar ch = t.at(i);
            out += ch;
            ++i;
            if (!quote.isNull()) {
                if (ch == quote)
                    quote = QChar();
                continue;
            }
            if (ch == QLatin1Char('>'))
                break;
            if ((ch == QLatin1Char('"') || ch == QLatin1Char('\'')) && lastSignificant == QLatin1Char('='))
                quote = ch;
            if (!ch.isSpace())
                lastSignificant = ch;
        }
        if (closing || (tagName != QLatin1String("script") && tagName != QLatin1String("style")))
            continue;
        // Raw text up to the element's end tag: placeholders in a script become JSON
        // strings; a style sheet is left as it is.
        qsizetype end = t.indexOf(QStringLiteral("</") + tagName, i, Qt::CaseInsensitive);
        if (end < 0)
            end = n;
        if (tagName == QLatin1String("style")) {
            out += QStringView(t).mid(i, end - i);
            i = end;
            continue;
        }
        while (i < end) {
            if (t.at(i) == QLatin1Char('<') && placeholderAt(t, i) > 0 && i + placeholderAt(t, i) <= end &&
                takePlaceholder(PlaceholderContext::Script))
                continue;
            out += t.at(i);
            ++i;
        }
    }
    return out;
}

QStringList EmptyAnswersUsed(const QString &templateText, const PageData &data)
{
    static const QRegularExpression name(QStringLiteral(R"(</?ZOR_(?:IFNOT_|IF_)?([A-Za-z0-9_]+)>)"),
                                         QRegularExpression::CaseInsensitiveOption);
    QSet<QString> used;
    for (auto it = name.globalMatch(templateText); it.hasNext();)
        used.insert(it.next().captured(1).toUpper());
    QStringList empty;
    for (const Field &field : Fields()) {
        bool uses = false;
        for (const QString &n : field.placeholders)
            uses = uses || used.contains(n);
        if (uses && !isSet(field, data))
            empty << field.name;
    }
    return empty;
}

} // namespace generation
