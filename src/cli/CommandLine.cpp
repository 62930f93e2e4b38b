#include "cli/CommandLine.h"

#include "check/PageCheck.h"
#include "cli/ConsoleDialogs.h"
#include "cli/ProductFile.h"
#include "cli/PublishTarget.h"
#include "generation/PageGuard.h"
#include "generation/modTemplates.h"
#include "platform/AppFolder.h"
#include "publish/UploadEngine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <unistd.h>

#ifndef QUILLMARK_VERSION
#define QUILLMARK_VERSION "unknown"
#endif

namespace cli {
namespace {

const QStringList kCommands = {QStringLiteral("generate"), QStringLiteral("check"),
                               QStringLiteral("publish")};

void write(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
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

const QString kGeneralHelp =
    QStringLiteral("Usage: quillmark [PAGE.htm]\n"
                   "       quillmark COMMAND [OPTIONS]\n"
                   "\n"
                   "Without a command Quillmark opens its window, with PAGE.htm in the editor when\n"
                   "one is given. With a command it works without a window (no display needed),\n"
                   "so pages can be made and published from scripts and scheduled jobs.\n"
                   "\n"
                   "Commands:\n"
                   "  generate   Make a sales page from a saved product and a template\n"
                   "  check      Look for faults in a page: placeholders left, missing files, ...\n"
                   "  publish    Send a page and the files it needs to your web server\n"
                   "\n"
                   "Options:\n"
                   "  -h, --help     Show this help; 'quillmark COMMAND --help' shows a command's\n"
                   "  -v, --version  Show the version\n"
                   "\n"
                   "Exit status:\n"
                   "  0  done (check: no errors found)\n"
                   "  1  the job failed: page not generated, errors found, a file not published\n"
                   "  2  bad usage or input: unknown option, missing product or template,\n"
                   "     unreadable file\n");

struct CommandHelp {
    QString usage;
    QString description;
    QString notes;
};

const CommandHelp kGenerateHelp = {
    QStringLiteral("quillmark generate --product NAME|FILE.ini --template NAME --out PAGE.htm [--force]"),
    QStringLiteral("Makes a sales page from a product saved in the wizard and one of the page\n"
                   "templates, exactly as the wizard's Generate Page does: the page, its product\n"
                   "image and the template's own files beside it, and the list PAGE.htm.files\n"
                   "naming every file the page needs (which 'quillmark publish' sends)."),
    QStringLiteral("A page that was changed since Quillmark last wrote it (edited by hand, say) is\n"
                   "not replaced unless --force is given; the command then fails with status 1.\n"
                   "\n"
                   "Example:\n"
                   "  quillmark generate --product Ledgerlark --template Clarity --out ~/site/index.htm\n")};

const CommandHelp kCheckHelp = {
    QStringLiteral("quillmark check PAGE.htm [--json]"),
    QStringLiteral("Checks a page for faults: template placeholders left in it, files it needs\n"
                   "that are missing, images without a text alternative and the like. Findings\n"
                   "are printed one a line, as compilers print them:\n"
                   "  FILE:LINE:COLUMN: SEVERITY: RULE: message"),
    QStringLiteral("The exit status is 1 when an error was found; warnings alone give 0.\n"
                   "\n"
                   "Example:\n"
                   "  quillmark check ~/site/index.htm\n")};

const CommandHelp kPublishHelp = {
    QStringLiteral(
        "quillmark publish PAGE.htm|LIST.files|FOLDER... [--to URL]\n"
        "                 [--password-env VAR | --password-file FILE] [--all] [--dry-run] [--json]"),
    QStringLiteral("Sends pages and the files they need to your web server, with the engine of the\n"
                   "upload window. A page sends the files its PAGE.htm.files list names (or the\n"
                   "page alone when it has no list); a .files list sends what it names; a folder\n"
                   "sends its files and subfolders. Only files changed since they were last sent\n"
                   "go out unless --all is given."),
    QStringLiteral("URL is ftp://, ftps:// (FTP with TLS) or sftp://, then [user@]host[:port]/folder.\n"
                   "For FTP the folder is relative to the login folder; for SFTP it is a full path.\n"
                   "Without --to, the server settings saved in the upload window are used.\n"
                   "\n"
                   "The password is never taken from the command line: it comes from the\n"
                   "environment variable named by --password-env, from the first line of the\n"
                   "file named by --password-file (which only its owner may read: chmod 600),\n"
                   "or from the saved settings of the upload window for the same server and user.\n"
                   "\n"
                   "Progress goes to standard error, the result to standard output.\n"
                   "\n"
                   "Example:\n"
                   "  QUILLMARK_PASSWORD=... quillmark publish ~/site/index.htm \\\n"
                   "      --to ftp://me@example.com/public_html --password-env QUILLMARK_PASSWORD\n")};

QString helpText(const QCommandLineParser &parser, const CommandHelp &help)
{
    QString options = parser.helpText();
    options = options.mid(std::max(qsizetype(0), options.indexOf(QStringLiteral("Options:"))));
    return QStringLiteral("Usage: ") + help.usage + QStringLiteral("\n\n") + help.description +
           QStringLiteral("\n\n") + options + QLatin1Char('\n') + help.notes;
}

// Parses a command's arguments. Returns -1 to go on, otherwise the exit status
// (help shown, or a usage error reported).
int parse(QCommandLineParser &parser, const QString &command, const QStringList &arguments,
          const CommandHelp &help)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show this help."));
    parser.addOption(helpOption);
    if (!parser.parse(QStringList{prefix(command)} + arguments))
        return fail(command,
                    parser.errorText() + QStringLiteral(" (see quillmark ") + command +
                        QStringLiteral(" --help)"),
                    kBadUsage);
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

QStringList dataFolders()
{
    QStringList folders{platform::userDataFolder(), platform::programFolder()};
    folders.removeDuplicates();
    return folders;
}

QStringList templateNames()
{
    QStringList names;
    for (const QString &folder : platform::templateFolders())
        for (const QFileInfo &file : QDir(folder).entryInfoList({QStringLiteral("*.htm")}, QDir::Files))
            names << file.completeBaseName();
    names.removeDuplicates();
    names.sort(Qt::CaseInsensitive);
    return names;
}

int countListedFiles(const QString &listPath)
{
    QFile list(listPath);
    if (!list.open(QIODevice::ReadOnly))
        return 0;
    int count = 0;
    for (const QByteArray &line : list.readAll().split('\n')) {
        const QByteArray trimmed = line.trimmed();
        count += !trimmed.isEmpty() && !trimmed.startsWith("::");
    }
    return count;
}

int generateCommand(const QStringList &arguments)
{
    const QString command = QStringLiteral("generate");
    QCommandLineParser parser;
    const QCommandLineOption product(
        QStringLiteral("product"),
        QStringLiteral("The product: a name saved in the wizard, or the path of its .ini file."),
        QStringLiteral("NAME|FILE.ini"));
    const QCommandLineOption templ(QStringLiteral("template"),
                                   QStringLiteral("The page template, by name as the wizard lists it."),
                                   QStringLiteral("NAME"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("The page to write."),
                                 QStringLiteral("PAGE.htm"));
    const QCommandLineOption force(QStringLiteral("force"),
                                   QStringLiteral("Replace the page even if it was changed since Quillmark "
                                                  "wrote it."));
    parser.addOptions({product, templ, out, force});
    if (const int status = parse(parser, command, arguments, kGenerateHelp); status >= 0)
        return status;
    if (!parser.positionalArguments().isEmpty())
        return fail(command,
                    QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()),
                    kBadUsage);
    for (const QCommandLineOption *required : {&product, &templ, &out})
        if (parser.value(*required).isEmpty())
            return fail(command,
                        QStringLiteral("--%1 is missing (see quillmark generate --help)")
                            .arg(required->names().first()),
                        kBadUsage);

    const QString productName = parser.value(product);
    const QString productPath = FindProduct(productName, dataFolders());
    if (productPath.isEmpty())
        return fail(command,
                    QFileInfo(productName).fileName() != productName ||
                            productName.endsWith(QStringLiteral(".ini"))
                        ? QStringLiteral("no product file %1").arg(productName)
                        : QStringLiteral("no product named \"%1\" in %2")
                              .arg(productName, dataFolders().join(QStringLiteral("/sites or ")) +
                                                    QStringLiteral("/sites")),
                    kBadUsage);
    generation::PageData data;
    if (!LoadProduct(productPath, data))
        return fail(command, QStringLiteral("cannot read the product file %1").arg(productPath), kBadUsage);

    QString templateName = parser.value(templ);
    const QString templatePath =
        templateName.contains(QLatin1Char('/')) ? QString() : platform::findTemplate(templateName);
    if (templatePath.isEmpty())
        return fail(command,
                    QStringLiteral("no template named \"%1\" (there are: %2)")
                        .arg(templateName, templateNames().join(QStringLiteral(", "))),
                    kBadUsage);

    QString page = absolute(parser.value(out));
    const QFileInfo pageInfo(page);
    if (pageInfo.isDir())
        return fail(command, QStringLiteral("%1 is a folder; --out names the page file").arg(page),
                    kBadUsage);
    if (!pageInfo.dir().exists())
        return fail(command, QStringLiteral("the folder %1 does not exist").arg(pageInfo.path()), kBadUsage);
    if (pageInfo.exists() && !parser.isSet(force) && generation::PageChangedSinceLastWrite(page))
        return fail(command,
                    QStringLiteral("%1 was changed since Quillmark last wrote it; not replaced "
                                   "(give --force to replace it)")
                        .arg(page),
                    kFailed);

    const QFileInfo productInfo(productPath);
    QString image =
        ResolveProductImage(data.txtProductImage, {productInfo.path(), QFileInfo(productInfo.path()).path(),
                                                   platform::userDataFolder(), platform::programFolder()});
    data.txtProductImage = image;
    ConsoleDialogs dialogs(prefix(command));
    platform::setDialogs(&dialogs);
    const bool written =
        generation::GenerateTemplateBasedPage(QStringList{QFileInfo(templatePath).path()},
                                              platform::userDataFolder(), templateName, page, image, data);
    platform::setDialogs(nullptr);
    if (!written || !QFileInfo(page).isFile())
        return dialogs.messageCount()
                   ? kFailed
                   : fail(command, QStringLiteral("%1 could not be written").arg(page), kFailed);
    const QString list = page + QStringLiteral(".files");
    write(stdout, QStringLiteral("%1: written with %2 files listed in %3\n")
                      .arg(page)
                      .arg(countListedFiles(list))
                      .arg(list));
    return kDone;
}

int checkCommand(const QStringList &arguments)
{
    const QString command = QStringLiteral("check");
    QCommandLineParser parser;
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Print the findings as one JSON object."));
    parser.addOption(json);
    if (const int status = parse(parser, command, arguments, kCheckHelp); status >= 0)
        return status;
    const QStringList pages = parser.positionalArguments();
    if (pages.size() != 1)
        return fail(command,
                    pages.isEmpty() ? QStringLiteral("no page given (see quillmark check --help)")
                                    : QStringLiteral("one page at a time, not %1").arg(pages.size()),
                    kBadUsage);
    const QString page = absolute(pages.first());
    QFile file(page);
    if (!QFileInfo(page).isFile() || !file.open(QIODevice::ReadOnly))
        return fail(command, QStringLiteral("cannot read the page %1").arg(pages.first()), kBadUsage);
    file.close();

    const check::Report report = check::CheckPage(page);
    if (parser.isSet(json)) {
        QByteArray bytes = check::ToJson(report);
        if (!bytes.endsWith('\n'))
            bytes += '\n';
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        std::fflush(stdout);
    } else {
        QString text = check::ToText(report);
        if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n')))
            text += QLatin1Char('\n');
        write(stdout, text);
    }
    if (report.errors() > 0)
        return fail(command,
                    QStringLiteral("%1: %2 errors, %3 warnings")
                        .arg(page)
                        .arg(report.errors())
                        .arg(report.warnings()),
                    kFailed);
    return kDone;
}

QString actionName(publish::Action action)
{
    switch (action) {
    case publish::Action::Sent:
        return QStringLiteral("sent");
    case publish::Action::Unchanged:
        return QStringLiteral("unchanged");
    case publish::Action::Failed:
        return QStringLiteral("failed");
    case publish::Action::WouldSend:
        return QStringLiteral("would-send");
    }
    return {};
}

// Progress on standard error: one line rewritten in place on a terminal, plain
// lines otherwise (a log file or a pipe gets no carriage returns).
class Progress {
public:
    explicit Progress(publish::UploadEngine &engine) : m_terminal(::isatty(STDERR_FILENO) == 1)
    {
        QObject::connect(
            &engine, &publish::UploadEngine::progress, &engine,
            [this](int done, int total, qint64 bytesDone, qint64 bytesTotal, const QString &file) {
                if (!m_terminal || total == 0)
                    return;
                const int percent = bytesTotal > 0 ? int(bytesDone * 100 / bytesTotal) : 0;
                write(stderr, QStringLiteral("\r\x1b[K[%1/%2] %3% %4")
                                  .arg(done)
                                  .arg(total)
                                  .arg(percent)
                                  .arg(QFileInfo(file).fileName()));
                m_open = true;
            });
        QObject::connect(&engine, &publish::UploadEngine::status, &engine, [this](const QString &line) {
            if (!m_terminal)
                write(stderr, OneLine(line) + QLatin1Char('\n'));
        });
    }
    ~Progress() { finish(); }
    void finish()
    {
        if (m_open)
            write(stderr, QStringLiteral("\r\x1b[K"));
        m_open = false;
    }

private:
    bool m_terminal;
    bool m_open = false;
};

int publishCommand(const QStringList &arguments)
{
    const QString command = QStringLiteral("publish");
    // A password option is a mistake worth naming: the usual parser would only say
    // "unknown option".
    for (const QString &argument : arguments)
        if (argument == QLatin1String("--password") || argument.startsWith(QLatin1String("--password=")))
            return fail(command,
                        QStringLiteral("passwords are not taken on the command line (they would show in the "
                                       "process list); use --password-env or --password-file"),
                        kBadUsage);

    QCommandLineParser parser;
    const QCommandLineOption to(QStringLiteral("to"),
                                QStringLiteral("The server and folder: ftp://, ftps:// or sftp://, "
                                               "then [user@]host[:port]/folder."),
                                QStringLiteral("URL"));
    const QCommandLineOption passwordEnv(QStringLiteral("password-env"),
                                         QStringLiteral("Take the password from this environment variable."),
                                         QStringLiteral("VAR"));
    const QCommandLineOption passwordFile(
        QStringLiteral("password-file"),
        QStringLiteral("Take the password from the first line of this file (readable by its owner only)."),
        QStringLiteral("FILE"));
    const QCommandLineOption all(
        QStringLiteral("all"),
        QStringLiteral("Send every file, not only those changed since the last time."));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"),
                                    QStringLiteral("Show what would be sent, and send nothing."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Print the result as one JSON object."));
    parser.addOptions({to, passwordEnv, passwordFile, all, dryRun, json});
    if (const int status = parse(parser, command, arguments, kPublishHelp); status >= 0)
        return status;

    // What to send.
    const QStringList paths = parser.positionalArguments();
    if (paths.isEmpty())
        return fail(command, QStringLiteral("nothing to publish: give a page, a .files list or a folder"),
                    kBadUsage);
    QVector<publish::Row> rows;
    QStringList seen;
    const auto add = [&](const publish::Row &row) {
        if (!seen.contains(row.localPath)) {
            seen << row.localPath;
            rows.push_back(row);
        }
    };
    for (const QString &given : paths) {
        const QString path = absolute(given);
        const QFileInfo info(path);
        if (info.isDir()) {
            add({path, true});
        } else if (!info.isFile() || !info.isReadable()) {
            return fail(command, QStringLiteral("cannot read %1").arg(given), kBadUsage);
        } else if (path.endsWith(QStringLiteral(".files"), Qt::CaseInsensitive)) {
            for (const publish::Row &row : publish::RowsForPage(path.chopped(6)))
                add(row);
        } else if (QFileInfo(path + QStringLiteral(".files")).isFile()) {
            for (const publish::Row &row : publish::RowsForPage(path))
                add(row);
        } else {
            add({path, false});
        }
    }
    if (rows.isEmpty())
        return fail(command, QStringLiteral("the lists name no file that exists"), kBadUsage);

    // Where to, and as whom.
    const QString ftpinfo = platform::userDataFolder() + QStringLiteral("/ftpinfo.ini");
    const publish::Target saved = publish::LoadSavedTarget(ftpinfo);
    publish::Target target;
    if (parser.isSet(to)) {
        QString error;
        if (!ParseTargetUrl(parser.value(to), target, error))
            return fail(command, error, kBadUsage);
        // The saved password serves the saved server and user only.
        if (saved.host.compare(target.host, Qt::CaseInsensitive) == 0 && saved.user == target.user)
            target.password = saved.password;
    } else {
        target = saved;
        if (target.host.trimmed().isEmpty())
            return fail(
                command,
                QStringLiteral("no server: give --to, or save the server settings in the upload window "
                               "(%1)")
                    .arg(ftpinfo),
                kBadUsage);
    }
    if (parser.isSet(passwordEnv) && parser.isSet(passwordFile))
        return fail(command, QStringLiteral("give --password-env or --password-file, not both"), kBadUsage);
    if (parser.isSet(passwordEnv)) {
        const QString variable = parser.value(passwordEnv);
        if (!qEnvironmentVariableIsSet(variable.toLocal8Bit().constData()))
            return fail(command, QStringLiteral("the environment variable %1 is not set").arg(variable),
                        kBadUsage);
        target.password = qEnvironmentVariable(variable.toLocal8Bit().constData());
    } else if (parser.isSet(passwordFile)) {
        QString error;
        if (!ReadPasswordFile(parser.value(passwordFile), target.password, error))
            return fail(command, error, kBadUsage);
    }

    publish::Options options;
    options.onlyChanged = !parser.isSet(all);
    options.dryRun = parser.isSet(dryRun);
    options.manifestFolder = platform::manifestFolder();

    ConsoleDialogs dialogs(prefix(command));
    platform::setDialogs(&dialogs);
    publish::UploadEngine engine;
    publish::Summary summary;
    {
        Progress progress(engine);
        summary = engine.run(rows, target, options);
    }
    platform::setDialogs(nullptr);

    if (parser.isSet(json)) {
        QJsonArray files;
        for (const publish::FileResult &file : summary.files)
            files.append(QJsonObject{{QStringLiteral("local"), file.local},
                                     {QStringLiteral("remote"), file.remote},
                                     {QStringLiteral("action"), actionName(file.action)},
                                     {QStringLiteral("error"), file.error}});
        QJsonObject result{{QStringLiteral("sent"), summary.sent},
                           {QStringLiteral("unchanged"), summary.unchanged},
                           {QStringLiteral("failed"), summary.failed},
                           {QStringLiteral("files"), files}};
        if (!summary.error.isEmpty())
            result.insert(QStringLiteral("error"), summary.error);
        const QByteArray bytes = QJsonDocument(result).toJson(QJsonDocument::Indented);
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        std::fflush(stdout);
    } else {
        QString text;
        for (const publish::FileResult &file : summary.files) {
            text += actionName(file.action).leftJustified(11) + file.local;
            if (!file.remote.isEmpty() && file.action != publish::Action::Unchanged)
                text += QStringLiteral(" -> ") + file.remote;
            if (!file.error.isEmpty())
                text += QStringLiteral(": ") + OneLine(file.error);
            text += QLatin1Char('\n');
        }
        text += QStringLiteral("%1 sent, %2 unchanged, %3 failed\n")
                    .arg(summary.sent)
                    .arg(summary.unchanged)
                    .arg(summary.failed);
        write(stdout, text);
    }

    if (!summary.error.isEmpty())
        return fail(command, summary.error.section(QLatin1Char('\n'), 0, 0), kFailed);
    if (summary.failed > 0)
        return fail(command,
                    summary.failed == 1 ? QStringLiteral("1 file not published")
                                        : QStringLiteral("%1 files not published").arg(summary.failed),
                    kFailed);
    if (summary.cancelled)
        return fail(command, QStringLiteral("stopped before every file was sent"), kFailed);
    return kDone;
}

int helpCommand(const QStringList &arguments)
{
    if (arguments.isEmpty()) {
        write(stdout, kGeneralHelp);
        return kDone;
    }
    if (!kCommands.contains(arguments.first()))
        return fail({}, QStringLiteral("no command \"%1\" (see quillmark --help)").arg(arguments.first()),
                    kBadUsage);
    return Run({QStringLiteral("quillmark"), arguments.first(), QStringLiteral("--help")});
}

} // namespace

bool IsCommandLine(const QStringList &arguments)
{
    if (arguments.size() < 2)
        return false;
    const QString &first = arguments.at(1);
    static const QStringList kWords =
        kCommands + QStringList{QStringLiteral("help"), QStringLiteral("-h"), QStringLiteral("--help"),
                                QStringLiteral("-v"), QStringLiteral("--version")};
    if (kWords.contains(first))
        return true;
    // Anything else that starts with "-" is left to the window toolkit's own options.
    if (first.startsWith(QLatin1Char('-')))
        return false;
    // A word that is not a page path can only be a mistyped command.
    return !first.contains(QLatin1Char('/')) && !first.contains(QLatin1Char('.')) &&
           !QFileInfo::exists(first);
}

int Run(const QStringList &arguments)
{
    const QString first = arguments.value(1);
    const QStringList rest = arguments.mid(2);
    if (first == QLatin1String("generate"))
        return generateCommand(rest);
    if (first == QLatin1String("check"))
        return checkCommand(rest);
    if (first == QLatin1String("publish"))
        return publishCommand(rest);
    if (first == QLatin1String("help"))
        return helpCommand(rest);
    if (first == QLatin1String("-h") || first == QLatin1String("--help")) {
        write(stdout, kGeneralHelp);
        return kDone;
    }
    if (first == QLatin1String("-v") || first == QLatin1String("--version")) {
        write(stdout, QStringLiteral("quillmark " QUILLMARK_VERSION "\n"));
        return kDone;
    }
    if (first.isEmpty())
        return fail({}, QStringLiteral("no command given (see quillmark --help)"), kBadUsage);
    return fail({}, QStringLiteral("no command \"%1\" (see quillmark --help)").arg(first), kBadUsage);
}

} // namespace cli
