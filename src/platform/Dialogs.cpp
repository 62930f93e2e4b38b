#include "Dialogs.h"

#include <QDebug>

namespace platform {
namespace {

class FallbackDialogs final : public Dialogs {
public:
    Answer message(const QString &text, const QString &title, Buttons buttons, Icon, QWidget *) override
    {
        qWarning().noquote() << title << ":" << text;
        return buttons == Buttons::Ok                                            ? Answer::Ok
               : buttons == Buttons::OkCancel || buttons == Buttons::YesNoCancel ? Answer::Cancel
                                                                                 : Answer::No;
    }
    QString openFile(const FileRequest &, QWidget *) override { return {}; }
    QStringList openFiles(const FileRequest &, QWidget *) override { return {}; }
    QString saveFile(const FileRequest &, QWidget *) override { return {}; }
    QString chooseFolder(const QString &, const QString &, QWidget *) override { return {}; }
    std::optional<ColorValue> chooseColor(ColorValue, QWidget *) override { return {}; }
    std::optional<QFont> chooseFont(const QFont &, QWidget *) override { return {}; }
    std::optional<QString> askText(const QString &, const QString &, const QString &, QWidget *) override
    {
        return {};
    }
};

FallbackDialogs g_fallback;
Dialogs *g_installed = nullptr;

} // namespace

int Dialogs::choose(const QString &text, const QString &title, const QStringList &, Icon, QWidget *)
{
    qWarning().noquote() << title << ":" << text;
    return -1;
}

std::optional<QString> Dialogs::askPassword(const QString &, const QString &, QWidget *)
{
    return std::nullopt;
}

Dialogs &dialogs()
{
    return g_installed ? *g_installed : g_fallback;
}

void setDialogs(Dialogs *d)
{
    g_installed = d;
}

void msgBox(const QString &text, QWidget *parent)
{
    dialogs().message(text, kAppTitle, Buttons::Ok, Icon::None, parent);
}

QString toQtFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')).trimmed();
        // Descriptions usually show the pattern already ("Web Page (*.htm)").
        out << (description.contains(QLatin1Char('('))
                    ? description
                    : description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return out.join(QStringLiteral(";;"));
}

} // namespace platform
