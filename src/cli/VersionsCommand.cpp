#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "cli/PublishCommand.h"
#include "cli/PublishTarget.h"
#include "publish/SavedTarget.h"
#include "publish/VersionStore.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace cli {
namespace {

const CommandHelp kVersionsHelp = {
    QStringLiteral("quillmark versions PAGE.htm|--to URL [--json]"),
    QStringLiteral("Lists the versions kept of a server, newest first: when each was published,\n"
                   "how many files and bytes it holds, and how far back it is. 'quillmark publish\n"
                   "--rollback N' sends the version N back again.\n"
                   "\n"
                   "With --to the versions of that server and folder are listed; without it those\n"
                   "of the server saved in the upload window. A PAGE lists only the versions that\n"
                   "hold that page."),
    QStringLiteral("URL is written as for 'quillmark publish'. No password is needed.\n"
                   "\n"
                   "With --json the result is one object: {\"versions\": [{\"back\", \"id\", \"date\",\n"
                   "\"files\", \"bytes\"}, ...]}, the date in UTC (ISO 8601).\n"
                   "\n"
                   "Example:\n"
                   "  quillmark versions --to ftp://me@example.com/public_html\n")};

} // namespace

int VersionsCommand(const QStringList &arguments)
{
    const QString command = QStringLiteral("versions");
    QCommandLineParser parser;
    const QCommandLineOption to(QStringLiteral("to"),
                                QStringLiteral("The server and folder, as for 'quillmark publish'."),
                                QStringLiteral("URL"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Print the result as one JSON object."));
    parser.addOptions({to, json});
    if (const int status = parse(parser, command, arguments, kVersionsHelp); status >= 0)
        return status;
    const QStringList pages = parser.positionalArguments();
    if (pages.size() > 1)
        return fail(command, QStringLiteral("give one page at most"), kBadUsage);
    if (pages.isEmpty() && !parser.isSet(to))
        return fail(command, QStringLiteral("give a page or --to URL"), kBadUsage);

    publish::Target target;
    if (parser.isSet(to)) {
        QString error;
        if (!ParseTargetUrl(parser.value(to), target, error))
            return fail(command, error, kBadUsage);
    } else {
        target = publish::SavedTarget::load(publish::SavedTarget::defaultPath()).target;
        if (target.host.trimmed().isEmpty())
            return fail(
                command,
                QStringLiteral("no server: give --to, or save the server settings in the upload window"),
                kBadUsage);
    }
    const QFileInfo page(pages.isEmpty() ? QString() : absolute(pages.first()));

    QJsonArray list;
    QString text;
    const QVector<publish::Version> versions = publish::VersionStore().list(target);
    for (int back = 0; back < versions.size(); ++back) {
        const publish::Version &v = versions[back];
        const bool holdsPage = pages.isEmpty() || std::any_of(v.files.cbegin(), v.files.cend(),
                                                              [&](const publish::VersionFile &f) {
                                                                  return QFileInfo(f.local) == page;
                                                              });
        if (!holdsPage)
            continue;
        const QString date = v.time.toString(Qt::ISODate);
        list.append(QJsonObject{{QStringLiteral("back"), back},
                                {QStringLiteral("id"), v.id},
                                {QStringLiteral("date"), date},
                                {QStringLiteral("files"), int(v.files.size())},
                                {QStringLiteral("bytes"), double(v.bytes())}});
        text += QStringLiteral("%1 back  %2  %3 files  %4 bytes%5\n")
                    .arg(back, 3)
                    .arg(date)
                    .arg(v.files.size(), 5)
                    .arg(v.bytes(), 10)
                    .arg(back == 0 ? QStringLiteral("  (the last publish)") : QString());
    }
    if (parser.isSet(json)) {
        const QByteArray bytes =
            QJsonDocument(QJsonObject{{QStringLiteral("versions"), list}}).toJson(QJsonDocument::Indented);
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        std::fflush(stdout);
    } else {
        write(stdout, list.isEmpty() ? QStringLiteral("No versions kept for this server.\n") : text);
    }
    return kDone;
}

} // namespace cli
