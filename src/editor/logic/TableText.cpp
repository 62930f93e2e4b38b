#include "editor/logic/TableText.h"

namespace editor {

namespace {
QString orDefault(const QString &text, const QString &fallback)
{
    return text.isEmpty() ? fallback : text;
}
} // namespace

QString BuildTableText(int tableId, const TableSetup &setup)
{
    const QString crlf = QStringLiteral("\r\n");
    const QString one = QStringLiteral("1");
    QString table = QStringLiteral("<Table ID=") + QString::number(tableId);
    const auto attribute = [&table](const QString &name, const QString &value) {
        table += QLatin1Char(' ') + name + QStringLiteral("=\"") + value + QLatin1Char('"');
    };
    attribute(QStringLiteral("align"), orDefault(setup.align, QStringLiteral("Left")));
    attribute(QStringLiteral("cellspacing"), orDefault(setup.spacing, one));
    attribute(QStringLiteral("cellpadding"), orDefault(setup.padding, one));
    attribute(QStringLiteral("border"), orDefault(setup.border, one));
    table += QStringLiteral(" width=75%>") + crlf;

    // The cells take the align text as typed, even when it is empty.
    QString row;
    for (int c = 0; c < setup.columns; ++c)
        row += QStringLiteral("      <TD ALIGN=") + setup.align +
               QStringLiteral(" VALIGN=TOP WIDTH=224 HEIGHT=30></TD>") + crlf;
    for (int r = 0; r < setup.rows; ++r)
        table += QStringLiteral("   <TR>") + crlf + row + QStringLiteral("   </TR>") + crlf;
    table += QStringLiteral("</Table>") + crlf;
    return table;
}

std::optional<qint16> ParseCount(const QString &text)
{
    bool ok = false;
    const short value = text.trimmed().toShort(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

} // namespace editor
