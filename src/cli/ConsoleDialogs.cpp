#include "cli/ConsoleDialogs.h"

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
    const QByteArray line =
        (m_prefix + QStringLiteral(": ") + OneLine(text) + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
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
