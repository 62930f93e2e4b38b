#include "cli/ConsoleDialogs.h"

#include "cli/Console.h"

#include <cstdio>

namespace cli {

QString OneLine(const QString &text)
{
    return text.simplified();
}

platform::Answer ConsoleDialogs::message(const QString &text, const QString &, platform::Buttons buttons,
                                         platform::Icon, QWidget *)
{
    ++m_count;
    write(stderr, m_prefix + QStringLiteral(": ") + OneLine(text) + QLatin1Char('\n'));
    switch (buttons) {
    case platform::Buttons::Ok:
        return platform::Answer::Ok;
    case platform::Buttons::OkCancel:
    case platform::Buttons::YesNoCancel:
        return platform::Answer::Cancel;
    case platform::Buttons::YesNo:
        break;
    }
    return platform::Answer::No;
}

} // namespace cli
