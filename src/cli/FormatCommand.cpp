#include "cli/FormatCommand.h"

#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "editor/source/HtmlFormat.h"
#include "editor/source/HtmlText.h"
#include "editor/source/SourceText.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>

namespace cli {
namespace {

const CommandHelp kFormatHelp = {
    QStringLiteral("quillmark format PAGE.htm [--check] [--in-place] [--indent N]"),
    QStringLiteral("Indents a page's HTML as the source view's Format command does: one block\n"
                   "element a line, each indented by its nesting (40 levels at most). Only\n"
                   "whitespace a browser ignores changes; text, tags, attributes, entities,\n"
                   "comments and the contents of pre, textarea, script and style stay exactly\n"
                   "as written, and so do the line ends outside the rewritten whitespace (new\n"
                   "ones take the form most lines end in). Prints the formatted page unless\n"
                   "--check or --in-place."),
    QStringLiteral("With --check nothing is written: the status is 1 and the first line that\n"
                   "would change is named (PAGE.htm:LINE: would change) when the page is not\n"
                   "formatted, 0 when it is.\n"
                   "\n"
                   "Example:\n"
                   "  quillmark format --in-place ~/site/index.htm\n")};

// Pages beyond this are refused rather than held several times in memory.
constexpr qint64 kMaxPageBytes = qint64(256) << 20;

} // namespace

int FormatCommand(const QStringList &arguments)
{
    const QString command = QStringLiteral("format");
    QCommandLineParser parser;
    const QCommandLineOption check(QStringLiteral("check"),
                                   QStringLiteral("Write nothing; fail when the page is not formatted."));
    const QCommandLineOption inPlace(QStringLiteral("in-place"), QStringLiteral("Replace the page."));
    const QCommandLineOption indent(QStringLiteral("indent"),
                                    QStringLiteral("Spaces per level, 0 to 16 (default 2)."),
                                    QStringLiteral("N"));
    parser.addOptions({check, inPlace, indent});
    if (const int status = parse(parser, command, arguments, kFormatHelp); status >= 0)
        return status;
    const QStringList pages = parser.positionalArguments();
    if (pages.size() != 1)
        return fail(command,
                    pages.isEmpty() ? QStringLiteral("no page given (see quillmark format --help)")
                                    : QStringLiteral("one page at a time, not %1").arg(pages.size()),
                    kBadUsage);
    if (parser.isSet(check) && parser.isSet(inPlace))
        return fail(command, QStringLiteral("--check and --in-place exclude each other"), kBadUsage);
    textmodel::FormatOptions options;
    if (parser.isSet(indent)) {
        bool number = false;
        options.indent = parser.value(indent).toInt(&number);
        if (!number || options.indent < 0 || options.indent > 16)
            return fail(command,
                        QStringLiteral("--indent takes a number of spaces from 0 to 16, not \"%1\"")
                            .arg(parser.value(indent)),
                        kBadUsage);
    }

    const QString path = absolute(pages.first());
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return fail(command, QStringLiteral("cannot read the page %1").arg(pages.first()), kBadUsage);
    if (file.size() > kMaxPageBytes)
        return fail(command, QStringLiteral("%1 is too large to format (over 256 MB)").arg(pages.first()),
                    kBadUsage);
    const QByteArray bytes = file.readAll();
    file.close();
    if (bytes.contains('\0'))
        return fail(command, QStringLiteral("%1 is not a text file (it holds NUL bytes)").arg(pages.first()),
                    kBadUsage);

    // Decoded so that encoding gives the same bytes back; a page that is already
    // formatted is written out as it was read.
    const textmodel::DecodedText decoded = textmodel::DecodeSourceBytes(bytes);
    const QString formatted = textmodel::FormatHtml(decoded.text, options);
    const bool same = formatted == decoded.text;
    const QByteArray out = same ? bytes : textmodel::EncodeHtmlText(formatted, decoded.oneBytePerCharacter);

    if (parser.isSet(check)) {
        if (same)
            return kDone;
        write(stdout, QStringLiteral("%1:%2: would change\n")
                          .arg(pages.first())
                          .arg(textmodel::FirstChangedLine(decoded.text, formatted)));
        return kFailed;
    }
    if (parser.isSet(inPlace)) {
        if (same)
            return kDone; // the file keeps its time
        QSaveFile save(path);
        if (!save.open(QIODevice::WriteOnly) || save.write(out) != out.size() || !save.commit())
            return fail(command, QStringLiteral("cannot write %1: %2").arg(pages.first(), save.errorString()),
                        kFailed);
        return kDone;
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
    return std::ferror(stdout) ? fail(command, QStringLiteral("cannot write the page to the output"), kFailed)
                               : kDone;
}

} // namespace cli
