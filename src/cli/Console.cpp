#include "cli/Console.h"

#include "cli/CommandLine.h"
#include "cli/ConsoleDialogs.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <algorithm>

namespace cli {

QString Printable(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\n' && u != u'\t') || (u >= 0x7f && u < 0xa0))
            c = QLatin1Char('?');
    }
    return out;
}

void write(FILE *stream, const QString &text)
{
    const QByteArray bytes = Printable(text).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

QString prefix(const QString &command)
{
    return command.isEmpty() ? QStringLiteral("quillmark") : QStringLiteral("quillmark ") + command;
}

int fail(const QString &command, const QString &message, int status)
{
    write(stderr, prefix(command) + QStringLiteral(": ") + OneLine(message) + QLatin1Char('\n'));
    return status;
}

namespace {

QString helpText(const QCommandLineParser &parser, const CommandHelp &help)
{
    QString options = parser.helpText();
    options = options.mid(std::max(qsizetype(0), options.indexOf(QStringLiteral("Options:"))));
    return QStringLiteral("Usage: ") + help.usage + QStringLiteral("\n\n") + help.description +
           QStringLiteral("\n\n") + options + QLatin1Char('\n') + help.notes;
}

} // namespace

int parse(QCommandLineParser &parser, const QString &command, const QStringList &arguments,
          const CommandHelp &help)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show this help."));
    parser.addOption(helpOption);
    if (!parser.parse(QStringList{prefix(command)} + arguments)) {
        QString error = parser.errorText();
        if (error.endsWith(QLatin1Char('.')))
            error.chop(1);
        return fail(command,
                    error + QStringLiteral(" (see quillmark ") + command + QStringLiteral(" --help)"),
                    kBadUsage);
    }
    if (parser.isSet(helpOption)) {
        write(stdout, helpText(parser, help));
        return kDone;
    }
    return -1;
}

QString absolute(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

} // namespace cli
