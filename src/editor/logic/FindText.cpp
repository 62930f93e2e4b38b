#include "editor/logic/FindText.h"

namespace editor {

std::optional<QRegularExpression> FindPattern(const QString &what, const FindOptions &options, QString *error)
{
    if (what.isEmpty()) {
        if (error)
            *error = QStringLiteral("Please enter the text to find.");
        return std::nullopt;
    }
    QString source = options.regex ? what : QRegularExpression::escape(what);
    if (options.wholeWord)
        source = QStringLiteral("(?<!\\w)(?:%1)(?!\\w)").arg(source);
    QRegularExpression::PatternOptions flags = QRegularExpression::UseUnicodePropertiesOption;
    if (!options.matchCase)
        flags |= QRegularExpression::CaseInsensitiveOption;
    QRegularExpression pattern(source, flags);
    if (!pattern.isValid()) {
        if (error)
            *error = QStringLiteral("The regular expression is not valid: %1.").arg(pattern.errorString());
        return std::nullopt;
    }
    pattern.optimize();
    return pattern;
}

namespace {

TextMatch firstFrom(const QString &text, qsizetype from, const QRegularExpression &pattern)
{
    QRegularExpressionMatchIterator it = pattern.globalMatch(text, from);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (m.capturedLength() > 0)
            return {m.capturedStart(), m.capturedLength()};
    }
    return {};
}

// The last non-empty match that ends at or before `until`, searching [0, until).
TextMatch lastBefore(const QString &text, qsizetype until, const QRegularExpression &pattern)
{
    TextMatch last;
    QRegularExpressionMatchIterator it = pattern.globalMatch(QStringView(text).left(until));
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (m.capturedLength() > 0)
            last = {m.capturedStart(), m.capturedLength()};
    }
    return last;
}

} // namespace

TextMatch FindIn(const QString &text, qsizetype from, const QRegularExpression &pattern, bool backward)
{
    from = qBound(qsizetype(0), from, text.size());
    if (!backward) {
        const TextMatch m = firstFrom(text, from, pattern);
        return m.found() || from == 0 ? m : firstFrom(text, 0, pattern);
    }
    const TextMatch m = lastBefore(text, from, pattern);
    return m.found() || from == text.size() ? m : lastBefore(text, text.size(), pattern);
}

QString ExpandReplacement(const QRegularExpressionMatch &match, const QString &replacement, bool regex)
{
    if (!regex)
        return replacement;
    QString out;
    out.reserve(replacement.size());
    for (qsizetype i = 0; i < replacement.size(); ++i) {
        const QChar c = replacement.at(i);
        if (c == QLatin1Char('\\') && i + 1 < replacement.size()) {
            const QChar next = replacement.at(i + 1);
            if (next.isDigit()) {
                out += match.captured(next.digitValue());
                ++i;
                continue;
            }
            if (next == QLatin1Char('\\')) {
                out += next;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

std::vector<textmodel::Replacement> ReplacementsIn(const QString &text, const QRegularExpression &pattern,
                                                   const QString &replacement, bool regex)
{
    std::vector<textmodel::Replacement> places;
    QRegularExpressionMatchIterator it = pattern.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (m.capturedLength() > 0)
            places.push_back(
                {m.capturedStart(), m.capturedLength(), ExpandReplacement(m, replacement, regex)});
    }
    return places;
}

} // namespace editor
