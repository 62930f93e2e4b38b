#include "cli/CommandLine.h"

#include "check/PageCheck.h"
#include "cli/AbTestCommand.h"
#include "cli/Console.h"
#include "cli/ConsoleDialogs.h"
#include "cli/FormatCommand.h"
#include "cli/ProgramModule.h"
#include "generation/AnswerSafety.h"
#include "generation/FileList.h"
#include "generation/PageGuard.h"
#include "generation/ProductFile.h"
#include "generation/modTemplates.h"
#include "platform/AppFolder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>
#include <limits>

#ifndef QUILLMARK_VERSION
#define QUILLMARK_VERSION "unknown"
#endif

namespace cli {
namespace {

const QStringList kCommands = {QStringLiteral("generate"), QStringLiteral("check"),
                               QStringLiteral("publish"),  QStringLiteral("versions"),
                               QStringLiteral("format"),   QStringLiteral("abtest")};

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
                   "  versions   List the versions kept of a server, to go back to one\n"
                   "  format     Indent a page's HTML without changing what a browser shows\n"
                   "  abtest     Tell which of two versions of a page sells more\n"
                   "\n"
                   "Options:\n"
                   "  -h, --help     Show this help (and 'quillmark COMMAND --help' a command's)\n"
                   "  -v, --version  Show the version\n"
                   "\n"
                   "Exit status:\n"
                   "  0  done (check: no errors found)\n"
                   "  1  the job failed: page not generated, errors found, a file not published\n"
                   "  2  bad usage or input: unknown option, missing product or template,\n"
                   "     unreadable file\n");

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
    QStringLiteral("quillmark check PAGE.htm [--json] [--max-size BYTES]"),
    QStringLiteral("Checks a page for faults: template placeholders left in it, files it needs\n"
                   "that are missing, images without a text alternative and the like. Findings\n"
                   "are printed one a line, as compilers print them:\n"
                   "  FILE:LINE:COLUMN: SEVERITY: RULE: message"),
    QStringLiteral("A page or style sheet larger than --max-size (default 20M; K, M and G multiply by\n"
                   "1024) is not read: it gives a \"too-large\" error.\n"
                   "The exit status is 1 when an error was found; warnings alone give 0.\n"
                   "\n"
                   "Example:\n"
                   "  quillmark check ~/site/index.htm\n")};

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
    QStringList files;
    generation::FileList::Read(listPath, files);
    return files.size();
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
    const QString productPath = generation::FindProduct(productName, dataFolders());
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
    if (!generation::LoadProduct(productPath, data))
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
    QString image = generation::ResolveProductImage(data.txtProductImage,
                                                    {productInfo.path(), QFileInfo(productInfo.path()).path(),
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
    for (const QString &warning : generation::UnknownElementWarnings(data))
        write(stderr, QStringLiteral("%1: warning: unknown-element: %2\n").arg(page, warning));
    const QString list = generation::FileList::PathFor(page);
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
    const QCommandLineOption maxSize(QStringLiteral("max-size"),
                                     QStringLiteral("Largest page or style sheet read, in bytes (K, M, G)."),
                                     QStringLiteral("BYTES"));
    parser.addOption(json);
    parser.addOption(maxSize);
    if (const int status = parse(parser, command, arguments, kCheckHelp); status >= 0)
        return status;
    qint64 maxBytes = check::kDefaultMaxBytes;
    if (parser.isSet(maxSize)) {
        static const QRegularExpression size(QStringLiteral("^([0-9]{1,12})([KMG]?)$"),
                                             QRegularExpression::CaseInsensitiveOption);
        const auto m = size.match(parser.value(maxSize).trimmed());
        const qint64 factor =
            !m.hasMatch() ? 0
            : m.captured(2).isEmpty()
                ? 1
                : qint64(1) << (10 * (1 + QStringLiteral("KMG").indexOf(m.captured(2).toUpper())));
        const qint64 count = m.captured(1).toLongLong();
        maxBytes = factor > 0 && count <= std::numeric_limits<qint64>::max() / factor ? count * factor : 0;
        if (maxBytes <= 0)
            return fail(
                command,
                QStringLiteral("--max-size takes a size in bytes, such as 500000, 800K or 20M, not \"%1\"")
                    .arg(parser.value(maxSize)),
                kBadUsage);
    }
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

    const check::Report report = check::CheckPage(page, maxBytes);
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

// `publish` and `versions` live in the publishing module.
int publishCommand(const QStringList &arguments, const QString &command = QStringLiteral("publish"))
{
    QString error;
    using Entry = int (*)(const QStringList *);
    const QByteArray symbol = "quillmark_" + command.toLatin1() + "_main";
    const auto entry = reinterpret_cast<Entry>(
        LoadProgramFunction(QStringLiteral("quillmark-publish.so"), symbol.constData(), error, true));
    if (!entry)
        return fail(command, QStringLiteral("cannot load the publishing module: ") + error, kFailed);
    return entry(&arguments);
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

namespace {

int runCommand(const QStringList &arguments)
{
    const QString first = arguments.value(1);
    const QStringList rest = arguments.mid(2);
    if (first == QLatin1String("generate"))
        return generateCommand(rest);
    if (first == QLatin1String("check"))
        return checkCommand(rest);
    if (first == QLatin1String("publish"))
        return publishCommand(rest);
    if (first == QLatin1String("versions"))
        return publishCommand(rest, first);
    if (first == QLatin1String("format"))
        return FormatCommand(rest);
    if (first == QLatin1String("abtest"))
        return AbTestCommand(rest);
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

} // namespace

int Run(const QStringList &arguments)
{
    const int status = runCommand(arguments);
    // Output that did not arrive (a full disk, a closed pipe) fails a command that
    // would otherwise have succeeded: a script must not take the missing result for one.
    if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && status == kDone) {
        const QString command = arguments.value(1);
        return fail(command.startsWith(QLatin1Char('-')) ? QString() : command,
                    QStringLiteral("cannot write the output"), kFailed);
    }
    return status;
}

} // namespace cli
