#include "cli/AbTestCommand.h"

#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "wizard/AbTest.h"

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QRegularExpression>
#include <cstdio>

namespace cli {
namespace {

const CommandHelp kAbTestHelp = {
    QStringLiteral("quillmark abtest VISITS_A ORDERS_A VISITS_B ORDERS_B [--json]"),
    QStringLiteral("Tells which of two versions of a page sells more, from the visitors and orders\n"
                   "of each as the analytics service counts them: both conversion rates, the lift\n"
                   "of B over A with its 95% interval, the two-sided p-value of the two-proportion\n"
                   "z-test, and a plain sentence. A version sells more when the p-value is below\n"
                   "0.05; until then the sentence says about how many more visitors each version\n"
                   "needs (80% power)."),
    QStringLiteral("With --json the result is one object: {\"visits_a\", \"orders_a\", \"visits_b\",\n"
                   "\"orders_b\", \"rate_a\", \"rate_b\", \"lift\", \"lift_low\", \"lift_high\", \"z\",\n"
                   "\"p_value\", \"verdict\" (\"A\", \"B\" or \"unclear\"), \"more_visitors_per_version\",\n"
                   "\"sentence\"}; rates and lifts are fractions, null where there is none.\n"
                   "\n"
                   "Example:\n"
                   "  quillmark abtest 2000 60 2000 90\n")};

const char *const kCountNames[] = {"VISITS_A", "ORDERS_A", "VISITS_B", "ORDERS_B"};

} // namespace

int AbTestCommand(const QStringList &arguments)
{
    const QString command = QStringLiteral("abtest");
    // "-5" would otherwise be taken for an unknown option.
    static const QRegularExpression negative(QStringLiteral("^-[0-9]"));
    QStringList options, counts;
    for (const QString &argument : arguments)
        (argument.startsWith(QLatin1Char('-')) && !negative.match(argument).hasMatch() ? options : counts)
            << argument;
    QCommandLineParser parser;
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Print the result as one JSON object."));
    parser.addOption(json);
    if (const int status = parse(parser, command, options, kAbTestHelp); status >= 0)
        return status;
    if (counts.size() != 4)
        return fail(command,
                    QStringLiteral("give four numbers, VISITS_A ORDERS_A VISITS_B ORDERS_B, not %1 "
                                   "(see quillmark abtest --help)")
                        .arg(counts.size()),
                    kBadUsage);

    qint64 values[4] = {};
    for (int i = 0; i < 4; ++i) {
        QString error;
        const std::optional<qint64> value =
            wizard::ParseAbCount(counts[i], QLatin1String(kCountNames[i]), error);
        if (!value)
            return fail(command, error, kBadUsage);
        values[i] = *value;
    }
    const wizard::AbCounts input{values[0], values[1], values[2], values[3]};
    if (const QString problem = wizard::AbCountsProblem(input); !problem.isEmpty())
        return fail(command, problem, kBadUsage);

    const wizard::AbResult result = wizard::CompareAb(input);
    if (parser.isSet(json)) {
        const QByteArray bytes =
            QJsonDocument(wizard::AbReportJson(input, result)).toJson(QJsonDocument::Indented);
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        std::fflush(stdout);
    } else {
        write(stdout, wizard::AbReportText(input, result));
    }
    return kDone;
}

} // namespace cli
