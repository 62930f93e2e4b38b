#include "editor/logic/TextPosition.h"

namespace editor {

int TextPosition(const QString &text, int line, int column)
{
    qsizetype start = 0;
    for (int l = 1; l < line; ++l) {
        const qsizetype next = text.indexOf(QLatin1Char('\n'), start);
        if (next < 0)
            return int(text.size());
        start = next + 1;
    }
    qsizetype end = text.indexOf(QLatin1Char('\n'), start);
    if (end < 0)
        end = text.size();
    return int(qMin(start + qMax(column, 1) - 1, end));
}

int TokenLength(const QString &text, int position)
{
    int end = position;
    while (end < text.size()) {
        const QChar c = text.at(end);
        if (c.isSpace() || c == QLatin1Char('"') || c == QLatin1Char('\'') ||
            (c == QLatin1Char('<') && end > position))
            break;
        ++end;
        if (c == QLatin1Char('>'))
            break;
    }
    return qMax(1, qMin(end, int(text.size())) - position);
}

} // namespace editor
