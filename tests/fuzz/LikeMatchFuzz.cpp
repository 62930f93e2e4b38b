// The wildcard match of a template's own files: no crash or hang, and for patterns
// without a character class the same answer as the equivalent regular expression.
#include "FuzzSupport.h"
#include "generation/modTemplates.h"

#include <QHash>
#include <QRegularExpression>

namespace {

QRegularExpression asRegularExpression(const QString &pattern)
{
    static const QHash<QChar, QString> wildcards = {{'?', "."}, {'*', ".*"}, {'#', "[0-9]"}};
    QString re;
    for (QChar c : pattern) // others by code: an escaped NUL ("\\0") would swallow a digit after it as octal
        re += wildcards.value(c, QString("\\x{%1}").arg(c.unicode(), 0, 16));
    return QRegularExpression(QRegularExpression::anchoredPattern(re),
                              QRegularExpression::DotMatchesEverythingOption);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const QString pattern = fuzzing::text(data, 64);
    const QString name =
        QString::fromLocal8Bit(QByteArray::fromStdString(data.ConsumeRemainingBytesAsString()));
    const bool match = generation::LikeMatch(name, pattern);
    // Surrogate pairs count as two characters in the matcher but one in the expression.
    // Many stars make the expression backtrack past its limit, which reads as no match.
    bool plain = !pattern.contains(QLatin1Char('[')) && pattern.count(QLatin1Char('*')) <= 4;
    for (QChar c : name + pattern)
        plain = plain && !c.isSurrogate();
    if (plain && name.size() < 256) {
        const bool expected = asRegularExpression(pattern).match(name).hasMatch();
        FUZZ_CHECK(match == expected, pattern + QStringLiteral(" / ") + name);
    }
    return 0;
}
