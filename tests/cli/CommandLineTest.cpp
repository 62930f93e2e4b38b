// The built program run as a process, the way scripts and scheduled jobs run it: no
// display variable, a temporary user data folder, real files and a real FTP server.
#include "cli/Console.h"
#include "cli/ProgramModule.h"
#include "cli/PublishCommand.h"
#include "cli/PublishTarget.h"
#include "common/TestSupport.h"
#include "generation/PublishedPage.h"
#include "publish/FtpServerFixture.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <unistd.h>

using testing_support::readAll;
using testing_support::writeAll;

namespace {

struct Result {
    int status = -1;
    QByteArray out, err;
};

class CommandLine : public ::testing::Test {
protected:
    QTemporaryDir data; // the user data folder
    QTemporaryDir work; // where pages are written

    QString page() const { return work.filePath("offer.htm"); }

    QString installed; // another copy of the program to run, when set

    QString program() const
    {
        return installed.isEmpty() ? testing_support::binaryDir() + "/bin/quillmark" : installed;
    }

    static QProcessEnvironment environment()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        return env;
    }

    // The program in the work folder, with this test's data folder.
    void start(QProcess &process, const QStringList &arguments, QProcessEnvironment env = environment())
    {
        env.insert("QUILLMARK_DATA", data.path());
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(work.path());
        process.start(program(), arguments);
    }

    Result run(const QStringList &arguments, QProcessEnvironment env = environment(), int timeoutMs = 30000,
               bool retryOnTracerCrash = true)
    {
        QProcess process;
        start(process, arguments, env);
        const bool finished = process.waitForFinished(timeoutMs);
        EXPECT_TRUE(finished) << arguments.join(' ').toStdString() << " did not end";
        if (!finished)
            process.kill();
        Result result{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                      process.readAllStandardOutput(), process.readAllStandardError()};
        // Under load, the leak checker of clang 14 now and then crashes in its own
        // thread-stopping code at exit ("Tracer caught signal 11"); that is no finding
        // about the program, so such a run is made once more, leak check and all.
        if (result.err.contains("LeakSanitizer has encountered a fatal error") && retryOnTracerCrash)
            return run(arguments, env, timeoutMs, false);
        return result;
    }

    Result generate(const QStringList &extra = {})
    {
        return run(
            QStringList{"generate", "--product", "Ledgerlark", "--template", "Clarity", "--out", page()} +
            extra);
    }

    static QStringList listedFiles(const QString &list)
    {
        QStringList files;
        for (const QByteArray &line : readAll(list).split('\n'))
            if (!line.trimmed().isEmpty() && !line.startsWith("::"))
                files << QString::fromLocal8Bit(line.trimmed());
        return files;
    }
};

// One line on standard error, naming what is wrong; nothing on standard output.
void expectOneLineError(const Result &r, int status, const char *needle)
{
    EXPECT_EQ(r.status, status) << r.err.toStdString();
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.startsWith("quillmark")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(needle)) << "wanted \"" << needle << "\" in " << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
}

QJsonObject parseObject(const QByteArray &bytes)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << bytes.toStdString();
    EXPECT_TRUE(doc.isObject());
    return doc.object();
}

} // namespace

TEST_F(CommandLine, HelpAndVersionNeedNoDisplay)
{
    const Result general = run({"--help"});
    EXPECT_EQ(general.status, 0);
    for (const char *word : {"Usage: quillmark", "generate", "check", "publish", "Exit status"})
        EXPECT_TRUE(general.out.contains(word)) << word;
    EXPECT_EQ(run({"-h"}).out, general.out);

    const Result version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(QRegularExpression(R"(^quillmark \d+\.\d+\.\d+\n$)").match(version.out).hasMatch())
        << version.out.toStdString();

    for (const QString command : {"generate", "check", "format", "publish", "versions", "abtest"}) {
        const Result help = run({command, "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_TRUE(help.out.startsWith("Usage: quillmark " + command.toUtf8())) << help.out.toStdString();
        EXPECT_TRUE(help.out.contains("Example:"));
        EXPECT_EQ(run({"help", command}).out, help.out);
    }
}

// Bad usage exits with two; what would publish the upload password or run script in a
// visitor's browser with one. Either way one line names it and nothing is written.
TEST_F(CommandLine, BadUsageAndBadInputExitWithTwoOrOneAndOneLine)
{
    const QString ini = QString::fromUtf8(readAll(testing_support::sourceDir() + "/sites/Ledgerlark.ini"));
    ASSERT_TRUE(writeAll(data.filePath("ftpinfo.ini"), "[TEXT]\r\ntxtPassword=secret\r\n"));
    ASSERT_TRUE(writeAll(work.filePath("script.ini"),
                         QString(ini)
                             .replace("txtAffiliateURL=https://", "txtAffiliateURL=\tjavascript:alert(1)//")
                             .toUtf8()));
    ASSERT_TRUE(
        writeAll(work.filePath("own.ini"), QString(ini)
                                               .replace("txtProductImage=sites/Ledgerlark_screenshot.png",
                                                        "txtProductImage=" + data.filePath("ftpinfo.ini"))
                                               .toUtf8()));
    ASSERT_TRUE(writeAll(work.filePath("open.txt"), "secret\n"));
    QFile::setPermissions(work.filePath("open.txt"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    ASSERT_TRUE(writeAll(work.filePath("shared.txt"), "secret\n"));
    QFile::setPermissions(work.filePath("shared.txt"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    ASSERT_TRUE(writeAll(work.filePath("big.txt"), QByteArray(4097, 'x')));
    QFile::setPermissions(work.filePath("big.txt"), QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(writeAll(page(), "<html></html>"));
    const QString missing = work.filePath("missing.htm");
    const struct {
        QStringList arguments;
        const char *message;
        int status = 2;
    } cases[] = {
        {{"generate", "--product", "script.ini", "--template", "Clarity", "--out", work.filePath("new.htm")},
         "affiliates address (txtAffiliateURL) is a javascript: address",
         1},
        {{"generate", "--product", "own.ini", "--template", "Clarity", "--out", work.filePath("new.htm")},
         "ftpinfo.ini is one of Quillmark's own files",
         1},
        {{"genrate"}, "no command \"genrate\""},
        {{"help", "bogus"}, "no command \"bogus\""},
        {{"generate", "--bogus"}, "Unknown option 'bogus'"},
        // Refused before the window toolkit starts, which would need a display.
        {{"--bogus"}, "unknown option \"--bogus\""},
        {{"-platform", "offscreen", "offer.htm", "-x"}, "unknown option \"-x\""},
        {{"new.htm", "-x"}, "unknown option \"-x\""}, // a page not yet saved is no command
        {{"generate", "--product", "Ledgerlark", "--out", page()}, "--template is missing"},
        {{"generate", "--product", "Nobody", "--template", "Clarity", "--out", page()},
         "no product named \"Nobody\""},
        {{"generate", "--product", work.filePath("none.ini"), "--template", "Clarity", "--out", page()},
         "no product file"},
        {{"generate", "--product", work.path(), "--template", "Clarity", "--out", page()}, "no product file"},
        // Names are looked up in the sites folders only: never the upload settings beside them.
        {{"generate", "--product", "../ftpinfo", "--template", "Clarity", "--out", page()},
         "no product file ../ftpinfo"},
        {{"generate", "--product", "Ledgerlark", "--template", "Nothing", "--out", page()},
         "no template named \"Nothing\" (there are: Clarity, Ember, Handbook, Letterpress, Marigold, "
         "Midnight)"},
        {{"generate", "--product", "Ledgerlark", "--template", "../templates/Clarity", "--out", page()},
         "no template named \"../templates/Clarity\""},
        {{"generate", "--product", "Ledgerlark", "--template", "Clarity", "--out", work.filePath("no/x.htm")},
         "does not exist"},
        {{"check"}, "no page given"},
        {{"check", missing}, "cannot read the page"},
        {{"check", "--json", page(), page()}, "one page at a time"},
        {{"check", "--max-size", "2X", page()}, "--max-size takes a size in bytes"},
        {{"check", "--max-size", "99999999999G", page()}, "--max-size takes a size in bytes"},
        {{"publish", page(), "--to", "ftp://u@127.0.0.1/", "--password", "x"},
         "not taken on the command line"},
        {{"publish", page(), "--to", "ftp://u:pw@127.0.0.1/"}, "password in the address is refused"},
        {{"publish", page(), "--to", "http://127.0.0.1/"}, "unsupported protocol \"http\""},
        {{"publish", page(), "--to", "s3://k:s@b/"}, "keys in the address are refused"},
        {{"publish", page(), "--to", "s3://b/?zone=1"}, "unknown setting \"zone=1\""},
        {{"publish", page(), "--to", "s3://b/"}, "no access key: give --access-key-env"},
        {{"publish", page(), "--to", "ftp://127.0.0.1/", "--secret-env", "X"}, "are for s3:// addresses"},
        {{"publish", page()}, "no server"},
        {{"publish", missing, "--to", "ftp://127.0.0.1/"}, "cannot read"},
        {{"publish"}, "nothing to publish"},
        {{"publish", "--rollback", page(), "--to", "ftp://127.0.0.1/"},
         "--rollback takes how many versions back"},
        {{"publish", page(), "--keep-versions", "0", "--to", "ftp://127.0.0.1/"}, "--keep-versions takes"},
        {{"versions"}, "give a page or --to URL"},
        {{"versions", page(), page(), "--to", "ftp://127.0.0.1/"}, "give one page at most"},
        {{"publish", page(), "--to", "ftp://127.0.0.1/", "--password-env", "X", "--password-file", "f"},
         "not more"},
        {{"publish", page(), "--to", "ftp://127.0.0.1/", "--password-env", "QUILLMARK_TEST_UNSET"},
         "QUILLMARK_TEST_UNSET is not set"},
        {{"publish", page(), "--to", "ftp://127.0.0.1/", "--password-file", work.filePath("open.txt")},
         "chmod 600"},
        {{"publish", page(), "--to", "ftp://127.0.0.1/", "--password-file", work.filePath("shared.txt")},
         "chmod 600"},
        {{"publish", page(), "--to", "ftp://127.0.0.1/", "--password-file", work.filePath("none.txt")},
         "cannot read the password file"},
        {{"publish", page(), "--to", "ftp://127.0.0.1/", "--password-file", work.filePath("big.txt")},
         "larger than 4096 bytes"},
        {{"publish", page(), "--to", "ftp://127.0.0.1/", "--connections", "9"},
         "--connections takes a whole number from 1 to 8, not \"9\""},
        {{"publish", page(), "--to", "ftp://127.0.0.1/", "--connections", "0"}, "from 1 to 8, not \"0\""},
        {{"publish", page(), "--to", "ftp://127.0.0.1/", "--connections", "2x"}, "from 1 to 8, not \"2x\""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        expectOneLineError(run(c.arguments), c.status, c.message);
    }
    EXPECT_EQ(readAll(page()), "<html></html>") << "a refused command changed the page";
    EXPECT_EQ(QDir(work.path()).entryList(QDir::Files),
              QStringList({"big.txt", "offer.htm", "open.txt", "own.ini", "script.ini", "shared.txt"}));
}

// Figures from worked examples; bad counts give status 2 and one line, never NaN.
// Output that cannot be written (here a full disk) fails a command that would have succeeded.
TEST_F(CommandLine, OutputThatCannotBeWrittenFailsTheCommand)
{
    for (const QStringList &arguments :
         {QStringList{"abtest", "2000", "60", "2000", "90"},
          QStringList{"abtest", "2000", "60", "2000", "90", "--json"}, QStringList{"--version"}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        QProcess process;
        process.setStandardOutputFile("/dev/full");
        start(process, arguments);
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitCode(), 1);
        EXPECT_TRUE(process.readAllStandardError().contains("cannot write the output"));
    }
}

TEST_F(CommandLine, AbTestPrintsFiguresAndRefusesBadCounts)
{
    const struct {
        QStringList counts;
        int status;
        const char *needle; // in the output, or else in the error line
    } cases[] = {
        {{"2000", "60", "2000", "90"}, 0, "Lift: +50.0% (95% interval +8.8% to +106.7%)\np-value: 0.0125"},
        {{"2000", "60", "2000", "90"},
         0,
         "B sells more: 4.5% against 3.0%, and a difference this large would "
         "come by chance about 1 time in 80\n"},
        // Montgomery & Runger's St. John's Wort example (19 and 27 of 100): two-sided p 0.179.
        {{"100", "19", "100", "27", "--json"}, 0, "\"p_value\": 0.1788"},
        {{"100", "19", "100", "27", "--json"}, 0, "\"more_visitors_per_version\": 334,"},
        {{"2000", "-60", "2000", "90"}, 2, "ORDERS_A cannot be negative, not \"-60\""},
        {{"2000", "sixty", "2000", "90"}, 2, "ORDERS_A must be a whole number, not \"sixty\""},
        {{"2000", "60", "2000", "1.5"}, 2, "ORDERS_B must be a whole number"},
        {{"99999999999999999999", "60", "2000", "90"}, 2, "VISITS_A is too large"},
        {{"2000", "60", "0", "0"}, 2, "B has no visitors yet"},
        {{"10", "12", "10", "1"}, 2, "A has more orders (12) than visitors (10)"},
        {{"2000", "60", "2000"}, 2, "give four numbers"},
        {{"2000", "60", "2000", "90", "5"}, 2, "give four numbers"},
        {{"2000", "60", "2000", "90", "--bogus"}, 2, "Unknown option 'bogus'"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.counts.join(' ').toStdString());
        const Result r = run(QStringList{"abtest"} + c.counts);
        if (c.status != 0) {
            expectOneLineError(r, c.status, c.needle);
            continue;
        }
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(c.needle)) << r.out.toStdString();
        EXPECT_FALSE(r.out.toLower().contains("nan"));
    }
}

// The page and list the generation library writes for the sample (its reference files).
TEST_F(CommandLine, GenerateWritesTheReferencePage)
{
    const Result r = generate();
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("offer.htm")) << r.out.toStdString();
    const QString reference = testing_support::sourceDir() + "/tests/generation/references/Clarity.htm";
    EXPECT_TRUE(readAll(page()) == readAll(reference));
    const QString list = QString::fromLocal8Bit(readAll(page() + ".files"))
                             .replace(work.path(), "<page folder>")
                             .replace("/offer.htm", "/Clarity.htm")
                             .replace(QRegularExpression("(:: Date Generated : )[^\r\n]*"), "\\1<date>");
    EXPECT_EQ(list, QString::fromLocal8Bit(readAll(reference + ".files")));
    for (const QString &file : listedFiles(page() + ".files"))
        EXPECT_TRUE(QFileInfo(file).isFile()) << file.toStdString();
}

// The user's own product of the sample's name wins over the shipped one; a page edited
// since it was generated is kept unless forced.
TEST_F(CommandLine, GenerateFindsProductsAndKeepsAnEditedPageUnlessForced)
{
    QString ini = QString::fromUtf8(readAll(testing_support::sourceDir() + "/sites/Ledgerlark.ini"));
    ini.replace("txtSoftwareName=Ledgerlark", "txtSoftwareName=Quillfeather");
    ASSERT_TRUE(QDir(data.path()).mkpath("sites"));
    ASSERT_TRUE(writeAll(data.filePath("sites/Ledgerlark.ini"), ini.toUtf8()));
    ASSERT_EQ(generate().status, 0);
    EXPECT_TRUE(readAll(page()).contains("Quillfeather"));
    ASSERT_TRUE(writeAll(work.filePath("own.ini"), ini.replace("Quillfeather", "Inkwell").toUtf8()));
    const Result byPath = run(
        {"generate", "--product", "own.ini", "--template", "Midnight", "--out", work.filePath("second.htm")});
    ASSERT_EQ(byPath.status, 0) << byPath.err.toStdString();
    EXPECT_TRUE(readAll(work.filePath("second.htm")).contains("Inkwell"));

    EXPECT_EQ(generate().status, 0) << "an untouched page is regenerated";
    const QByteArray edited = readAll(page()) + "<!-- my own words -->";
    ASSERT_TRUE(writeAll(page(), edited));
    const QByteArray list = readAll(page() + ".files");
    expectOneLineError(generate(), 1, "was changed since Quillmark last wrote it");
    EXPECT_EQ(readAll(page()), edited);
    EXPECT_EQ(readAll(page() + ".files"), list);
    EXPECT_EQ(generate({"--force"}).status, 0);
    EXPECT_NE(readAll(page()), edited);
}

TEST_F(CommandLine, CheckPrintsFindingsAsCompilersDoAndAsJson)
{
    ASSERT_EQ(generate().status, 0);
    const Result clean = run({"check", page()});
    EXPECT_EQ(clean.status, 0) << clean.out.toStdString() << clean.err.toStdString();

    // A placeholder left in the page and a file it needs that is gone are errors.
    ASSERT_TRUE(
        writeAll(page(), readAll(page()).replace("</body>", "<p><ZOR_PAGE_DATA_SOFTWARENAME></p></body>")));
    ASSERT_TRUE(QFile::remove(work.filePath("Clarity_style.css")));

    const Result text = run({"check", page()});
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.err.count('\n'), 1) << text.err.toStdString();
    EXPECT_TRUE(text.err.contains("errors")) << text.err.toStdString();
    static const QRegularExpression line(R"(^(.+):(\d+):(\d+): (error|warning): ([a-z0-9-]+): .+$)");
    int errors = 0;
    for (const QString &l : QString::fromUtf8(text.out).split('\n', Qt::SkipEmptyParts)) {
        const auto m = line.match(l);
        EXPECT_TRUE(m.hasMatch()) << l.toStdString();
        errors += m.captured(4) == "error";
    }
    EXPECT_GE(errors, 2);

    const Result small = run({"check", "--max-size", "1k", page()});
    EXPECT_EQ(small.status, 1);
    EXPECT_TRUE(small.out.startsWith(page().toUtf8() + ":1:1: error: too-large: "))
        << small.out.toStdString();
    EXPECT_EQ(run({"check", "--max-size", "20M", page()}).out, text.out);

    const Result json = run({"check", "--json", page()});
    EXPECT_EQ(json.status, 1);
    const QJsonObject report = parseObject(json.out);
    EXPECT_EQ(report["page"].toString(), page());
    EXPECT_EQ(report["errors"].toInt(), errors);
    EXPECT_EQ(report["findings"].toArray().size(), errors + report["warnings"].toInt());
    QStringList rules;
    for (const QJsonValue &f : report["findings"].toArray()) {
        EXPECT_GT(f["line"].toInt() * f["column"].toInt(), 0) << f["message"].toString().toStdString();
        rules << f["rule"].toString();
    }
    EXPECT_TRUE(rules.contains("placeholder-left") && rules.contains("missing-file"))
        << qPrintable(rules.join(' '));
}

// Dry run by page, list and folder; first, second and changed publishes; text output, the
// password from a file or the environment; a refused login exits with one; active mode and
// a remote folder made by the first publish.
TEST_F(CommandLine, FormatPrintsChecksAndReplacesThePage)
{
    const QByteArray messy = "<div>\r\n<p>a</p>\r\n<ul><li>b</li></ul></div>\r\n";
    const QByteArray tidy = "<div>\r\n  <p>a</p>\r\n  <ul>\r\n    <li>b</li>\r\n  </ul>\r\n</div>\r\n";
    ASSERT_TRUE(writeAll(page(), messy));
    const Result printed = run({"format", page()});
    EXPECT_EQ(printed.status, 0) << printed.err.toStdString();
    EXPECT_EQ(printed.out, tidy);
    const Result check = run({"format", "--check", "offer.htm"});
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(check.out, "offer.htm:2: would change\n");
    EXPECT_EQ(readAll(page()), messy);
    EXPECT_EQ(run({"format", "--in-place", "--indent", "4", page()}).status, 0);
    EXPECT_EQ(readAll(page()), QByteArray(tidy).replace("  ", "    "));
    EXPECT_EQ(run({"format", "--check", "--indent", "4", page()}).status, 0);
    // A page already in form is left alone, its time too.
    const QDateTime old(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    {
        QFile file(page());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly) &&
                    file.setFileTime(old, QFileDevice::FileModificationTime));
    }
    EXPECT_EQ(run({"format", "--in-place", "--indent", "4", page()}).status, 0);
    EXPECT_EQ(QFileInfo(page()).lastModified().toUTC(), old);
    for (const char *indent : {"0", "16"})
        EXPECT_EQ(run({"format", "--indent", indent, page()}).status, 0) << indent;

    ASSERT_TRUE(writeAll(work.filePath("picture.htm"), QByteArray("\x89PNG\r\n\x1a\n\0\0", 10)));
    const QStringList refused[] = {
        {"format", work.filePath("missing.htm")}, {"format", "--indent", "-1", page()},
        {"format", "--indent", "17", page()},     {"format", page(), page()},
        {"format", work.filePath("picture.htm")}, {"format", "--check", "--in-place", page()}};
    const char *messages[] = {"cannot read the page", "--indent takes",  "--indent takes",
                              "one page at a time",   "not a text file", "exclude each other"};
    for (int k = 0; k < 6; ++k)
        expectOneLineError(run(refused[k]), 2, messages[k]);
    EXPECT_EQ(QDir(work.path()).entryList(QDir::Files), QStringList({"offer.htm", "picture.htm"}));
}

TEST_F(CommandLine, PublishSendsChangedFilesOnlyToAnFtpServer)
{
    publish_testing::FtpServer server;
    ASSERT_TRUE(server.start({"--active-only"}));
    ASSERT_EQ(generate().status, 0);
    const QString passwordFile = work.filePath("password");
    ASSERT_TRUE(writeAll(passwordFile, "secret\r\n")); // written on Windows
    ASSERT_TRUE(QFile::setPermissions(passwordFile, QFile::ReadOwner | QFile::WriteOwner));
    const QString to = QString("ftp://user@127.0.0.1:%1/site").arg(server.port());
    const QStringList options = {"--json", "--to", to, "--password-file", passwordFile, "--active"};
    const QStringList listed = listedFiles(page() + ".files");
    auto files = [](const Result &r) { return parseObject(r.out)["files"].toArray(); };

    const Result dry = run(QStringList{"publish", page(), "--dry-run"} + options);
    ASSERT_EQ(dry.status, 0) << dry.err.toStdString();
    EXPECT_EQ(files(dry).size(), listed.size());
    for (const QJsonValue &f : files(dry))
        EXPECT_EQ(f["action"].toString(), "would-send");
    EXPECT_FALSE(QFileInfo::exists(server.path("site"))) << "a dry run made or sent something";
    // The list itself names the same files; a folder sends what it holds.
    EXPECT_EQ(files(run(QStringList{"publish", page() + ".files", "--dry-run"} + options)).size(),
              listed.size());
    ASSERT_TRUE(QFile::copy(page() + ".files", page() + ".FILES"));
    EXPECT_EQ(files(run(QStringList{"publish", page() + ".FILES", "--dry-run"} + options)).size(),
              listed.size());
    QFile::remove(page() + ".FILES");
    ASSERT_TRUE(publish_testing::makeFile(work.filePath("extra/more/deep.txt"), "x"));
    const QJsonArray folderFiles =
        files(run(QStringList{"publish", work.filePath("extra"), "--dry-run"} + options));
    ASSERT_EQ(folderFiles.size(), 1);
    EXPECT_EQ(folderFiles[0]["local"].toString(), work.filePath("extra/more/deep.txt"));

    const Result first = run(QStringList{"publish", page()} + options);
    ASSERT_EQ(first.status, 0) << first.err.toStdString();
    QJsonObject result = parseObject(first.out);
    EXPECT_EQ(result["sent"].toInt(), listed.size());
    EXPECT_EQ(result["failed"].toInt(), 0);
    EXPECT_EQ(result["created"].toArray(), QJsonArray({"site"}));
    for (const QString &file : listed)
        EXPECT_EQ(readAll(server.path("site/" + QFileInfo(file).fileName())),
                  generation::PublishedBytes(readAll(file))) // a page goes without its block markers
            << file.toStdString();
    for (const QJsonValue &f : result["files"].toArray())
        EXPECT_TRUE(f["action"] == "sent" && listed.contains(f["local"].toString()));

    result = parseObject(run(QStringList{"publish", page()} + options).out);
    EXPECT_EQ(result["sent"].toInt(), 0);
    EXPECT_EQ(result["unchanged"].toInt(), listed.size());

    const QByteArray firstPage = readAll(server.path("site/offer.htm"));
    ASSERT_TRUE(writeAll(page(), readAll(page()) + "\n"));
    QProcessEnvironment env = environment();
    env.insert("QM_TEST_PASSWORD", "secret");
    const Result third =
        run({"publish", page(), "--to", to, "--password-env", "QM_TEST_PASSWORD", "--active"}, env);
    ASSERT_EQ(third.status, 0) << third.err.toStdString();
    EXPECT_TRUE(
        third.out.endsWith(QString("1 sent, %1 unchanged, 0 failed\n").arg(listed.size() - 1).toUtf8()))
        << third.out.toStdString();
    EXPECT_EQ(readAll(server.path("site/offer.htm")), generation::PublishedBytes(readAll(page())));

    // Two versions (the unchanged publish added none); going back sends the one page.
    const auto versions = [&](const QString &pageArgument) {
        return parseObject(run({"versions", pageArgument, "--to", to, "--json"}).out)["versions"].toArray();
    };
    const QJsonArray kept = versions(page());
    ASSERT_EQ(kept.size(), 2);
    EXPECT_EQ(kept[1].toObject()["files"].toInt(), listed.size());
    EXPECT_EQ(kept[0].toObject()["bytes"].toInteger(), kept[1].toObject()["bytes"].toInteger() + 1);
    EXPECT_TRUE(versions(work.filePath("other.htm")).isEmpty());
    const Result back = run(QStringList{"publish", "--rollback=1"} + options);
    ASSERT_EQ(back.status, 0) << back.err.toStdString();
    EXPECT_EQ(parseObject(back.out)["sent"].toInt(), 1);
    EXPECT_EQ(readAll(server.path("site/offer.htm")), firstPage);
    EXPECT_EQ(versions(page()).size(), 3);
    expectOneLineError(run(QStringList{"publish", "--rollback", "3"} + options), 1, "no version 3 back");
    // --all sends what is unchanged too.
    EXPECT_EQ(parseObject(run(QStringList{"publish", page(), "--all"} + options).out)["sent"].toInt(),
              listed.size());
    // A version without the page: the page's versions keep the numbers --rollback takes.
    ASSERT_EQ(run(QStringList{"publish", work.filePath("extra")} + options).status, 0);
    EXPECT_EQ(versions(page())[0].toObject()["back"].toInt(), 1);
    const QByteArray listing = run({"versions", page(), "--to", to}).out;
    EXPECT_TRUE(listing.startsWith("  1 back") && !listing.contains("the last publish")) << listing.data();

    ASSERT_TRUE(writeAll(page(), "<html></html>"));
    env.insert("QM_TEST_PASSWORD", "wrong");
    const Result refused =
        run({"publish", page(), "--all", "--to", to, "--password-env", "QM_TEST_PASSWORD"}, env);
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.trimmed().split('\n').last().startsWith("quillmark publish: "))
        << refused.err.toStdString();
    EXPECT_NE(readAll(server.path("site/offer.htm")), "<html></html>");
}

// Folders send the site alone and list what they leave out; a list's lines outside the
// page's folder and missing ones fail the publish.
TEST_F(CommandLine, PublishSendsTheSiteAlone)
{
    publish_testing::FtpServer server;
    ASSERT_TRUE(server.start());
    QProcessEnvironment env = environment();
    env.insert("QM_TEST_PASSWORD", "secret");
    const QStringList options = {"--json", "--to", QString("ftp://user@127.0.0.1:%1/").arg(server.port()),
                                 "--password-env", "QM_TEST_PASSWORD"};
    const QString site = work.filePath("site");
    for (const char *f : {"site/index.htm", "site/.env", "secret.txt"})
        ASSERT_TRUE(publish_testing::makeFile(work.filePath(f), f));
    ASSERT_EQ(::symlink("../secret.txt", QFile::encodeName(site + "/out.txt").constData()), 0);
    const auto actions = [](const Result &r) {
        QStringList out;
        for (const QJsonValue &f : parseObject(r.out)["files"].toArray())
            out << QFileInfo(f["local"].toString()).fileName() + " " + f["action"].toString();
        return out;
    };
    const struct {
        QStringList arguments;
        int status;
        QStringList actions;
    } cases[] = {
        {{site}, 0, {".env skipped", "out.txt skipped", "index.htm.files sent", "index.htm sent"}},
        {{site, "--include-hidden"},
         0,
         {"out.txt skipped", ".env sent", "index.htm.files unchanged", "index.htm unchanged"}},
        {{site + "/index.htm"},
         1,
         {"secret.txt failed", "ftpinfo.ini failed", "gone.gif failed", "index.htm unchanged"}},
    };
    ASSERT_TRUE(writeAll(site + "/index.htm.files", QString("%1/index.htm\n../secret.txt\n%2\n%1/gone.gif\n")
                                                        .arg(site, data.filePath("ftpinfo.ini"))
                                                        .toLocal8Bit()));
    ASSERT_TRUE(writeAll(data.filePath("ftpinfo.ini"), "[TEXT]\r\n"));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Result r = run(QStringList{"publish"} + c.arguments + options, env);
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        EXPECT_EQ(actions(r), c.actions);
        EXPECT_TRUE(r.err.contains("Not sent")) << "each file left out is named";
    }
    EXPECT_EQ(QDir(server.path("")).entryList(QDir::Files | QDir::Hidden),
              QStringList({".env", "index.htm", "index.htm.files"}));

    // A page without a list goes with the local files it and its style sheets refer
    // to, each under its path below the page's folder; one outside that folder fails.
    const QString hand = work.filePath("hand");
    ASSERT_TRUE(publish_testing::makeFile(hand + "/img/logo.png", "logo"));
    ASSERT_TRUE(publish_testing::makeFile(hand + "/img/bg.png", "bg"));
    ASSERT_TRUE(publish_testing::makeFile(hand + "/style.css", "body { background: url(img/bg.png) }"));
    const QByteArray handPage = "<html><head><link rel=stylesheet href=style.css></head>"
                                "<body><img src=img/logo.png><a href=gone.htm>x</a></body></html>";
    ASSERT_TRUE(writeAll(hand + "/page.htm", handPage));
    QStringList toHand = options;
    toHand[2] += "hand/";
    const Result linked = run(QStringList{"publish", hand + "/page.htm"} + toHand, env);
    EXPECT_EQ(linked.status, 0) << linked.err.toStdString();
    for (const char *file : {"page.htm", "style.css", "img/logo.png", "img/bg.png"})
        EXPECT_EQ(readAll(server.path(QString("hand/") + file)), readAll(hand + "/" + file)) << file;
    ASSERT_TRUE(writeAll(hand + "/page.htm", handPage + "<img src=../secret.txt>"));
    const Result outside = run(QStringList{"publish", hand + "/page.htm"} + toHand, env);
    EXPECT_EQ(outside.status, 1);
    EXPECT_TRUE(outside.err.contains("outside the page's folder")) << outside.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(server.path("hand/secret.txt")));
    EXPECT_FALSE(QFileInfo::exists(server.path("secret.txt")));
    // A missing picture fails it too (a missing link's target above did not: the
    // server may hold what the link leads to).
    ASSERT_TRUE(writeAll(hand + "/page.htm", handPage + "<img src=img/none.png>"));
    const Result missing = run(QStringList{"publish", hand + "/page.htm"} + toHand, env);
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains("img/none.png")) << missing.err.toStdString();
    // Either way the live page stays as it was, not pointing at what is not there.
    EXPECT_TRUE(missing.out.contains("Held back")) << missing.out.toStdString();
    EXPECT_EQ(readAll(server.path("hand/page.htm")), handPage);

    // A list's files in subfolders keep their paths; two files for one place on the
    // server send one and fail the publish, naming the other.
    const QString listed = work.filePath("listed");
    for (const char *f : {"img/a.png", "other/a.png", "b/index.htm"})
        ASSERT_TRUE(publish_testing::makeFile(listed + "/" + f, f));
    ASSERT_TRUE(writeAll(listed + "/index.htm", "<img src=img/a.png><img src=other/a.png>"));
    ASSERT_TRUE(writeAll(listed + "/index.htm.files", "img/a.png\nother/a.png\n"));
    QStringList toListed = options;
    toListed[2] += "listed/";
    const Result sub = run(QStringList{"publish", listed + "/index.htm"} + toListed, env);
    EXPECT_EQ(sub.status, 0) << sub.err.toStdString();
    for (const char *file : {"index.htm", "img/a.png", "other/a.png"})
        EXPECT_EQ(readAll(server.path(QString("listed/") + file)), readAll(listed + "/" + file)) << file;
    const Result twice =
        run(QStringList{"publish", listed + "/b/index.htm", listed + "/index.htm"} + toListed, env);
    EXPECT_EQ(twice.status, 1);
    EXPECT_TRUE(twice.err.contains("goes to the same place on the server")) << twice.err.toStdString();
    EXPECT_EQ(readAll(server.path("listed/index.htm")), readAll(listed + "/index.htm"));
}

// One Ctrl+C lets the file under way finish and stops there; the run says so and fails.
TEST_F(CommandLine, PublishStoppedByCtrlCSaysSoAndFails)
{
    publish_testing::FtpServer server;
    ASSERT_TRUE(server.start({"--slow-uploads"})); // each file is held a second
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(publish_testing::makeFile(work.filePath(QString("site/%1.bin").arg(i)),
                                              publish_testing::sample(64 << 10, i)));
    QProcessEnvironment env = environment();
    env.insert("QM_TEST_PASSWORD", "secret");
    QProcess process;
    start(process,
          {"publish", work.filePath("site"), "--to", QString("ftp://user@127.0.0.1:%1/").arg(server.port()),
           "--password-env", "QM_TEST_PASSWORD", "--connections", "1"},
          env);
    ASSERT_TRUE(testing_support::waitFor([&] { return server.logins() > 0; }, 20000));
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 1);
    const QByteArray err = process.readAllStandardError();
    EXPECT_TRUE(err.contains("stopping after the files under way") &&
                err.trimmed().endsWith("stopped before every file was sent"))
        << err.toStdString();
    EXPECT_LT(QDir(server.path("")).entryList(QDir::Files).size(), 4);
}

// A big file saved while it goes may reach the server part old, part new: that file
// fails the publish, and its hash is not recorded as what the server holds.
TEST_F(CommandLine, PublishFailsAFileSavedWhileItWasSent)
{
    publish_testing::FtpServer server;
    ASSERT_TRUE(server.start({"--slow-uploads"}));
    const QString big = work.filePath("site/big.bin");
    ASSERT_TRUE(publish_testing::makeFile(big, publish_testing::sample(3 << 20, 1)));
    QProcessEnvironment env = environment();
    env.insert("QM_TEST_PASSWORD", "secret");
    QProcess process;
    start(process,
          {"publish", work.filePath("site"), "--to", QString("ftp://user@127.0.0.1:%1/").arg(server.port()),
           "--password-env", "QM_TEST_PASSWORD"},
          env);
    ASSERT_TRUE(testing_support::waitFor([&] { return QFileInfo(server.path("big.bin")).size() > 0; },
                                         20000)); // new: under its name
    QFile file(big);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("saved meanwhile");
    file.close();
    ASSERT_TRUE(process.waitForFinished(30000));
    const QByteArray out = process.readAllStandardOutput(), err = process.readAllStandardError();
    EXPECT_EQ(process.exitCode(), 1) << err.toStdString();
    EXPECT_TRUE(out.contains("changed while it was being sent")) << out.toStdString();
}

// The saved password goes only to the protocol, server, port and user it was saved for;
// loading one makes the process undumpable; a server that cannot be trusted is named as such.
TEST_F(CommandLine, PublishKeepsSecretsBound)
{
    publish_testing::FtpServer server, tls;
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(writeAll(page(), "<html></html>"));
    for (const char *protocol : {"FTP with TLS", "FTP"}) {
        ASSERT_TRUE(
            writeAll(data.filePath("ftpinfo.ini"),
                     QString("[TEXT]\r\ntxtServerName=127.0.0.1\r\ntxtServerPort=%1\r\ntxtUserId=user\r\n"
                             "txtPassword=secret\r\ncboProtocol=%2\r\n")
                         .arg(server.port())
                         .arg(protocol)
                         .toUtf8()));
        const bool same = QString(protocol) == "FTP";
        const Result r =
            run({"publish", page(), "--to", QString("ftp://user@127.0.0.1:%1/").arg(server.port())});
        EXPECT_EQ(r.status, same ? 0 : 1) << protocol << r.err.toStdString();
        EXPECT_EQ(r.err.contains(": no password for ftp://user@127.0.0.1:"), !same) << "no keyring here";
        // The test session bus does not exist: the keyring says so at once, and that is the reason shown.
        EXPECT_FALSE(r.err.contains("did not answer")) << r.err.toStdString();
        EXPECT_TRUE(readAll(data.filePath("ftpinfo.ini")).contains("txtPassword=secret")) << "no keyring";
    }
    // SFTP without a password or a keyring goes on to try the user's SSH keys.
    const Result keys = run({"publish", page(), "--to", "sftp://user@127.0.0.1:1/x"});
    EXPECT_EQ(keys.status, 1);
    EXPECT_FALSE(keys.err.contains("no password for")) << keys.err.toStdString();

    // A line break in the user name or password cannot smuggle commands to the server.
    ASSERT_TRUE(writeAll(server.path("victim.htm"), "live"));
    QProcessEnvironment injecting = environment();
    injecting.insert("QM_TEST_PASSWORD", "secret\r\nDELE victim.htm");
    injecting.insert("QM_PLAIN_PASSWORD", "secret");
    for (const QStringList &to :
         {QStringList{"--to", QString("ftp://user@127.0.0.1:%1/").arg(server.port()), "--password-env",
                      "QM_TEST_PASSWORD"},
          QStringList{"--to",
                      "ftp://x%0D%0ADELE%20victim.htm@127.0.0.1:" + QString::number(server.port()) + "/",
                      "--password-env", "QM_PLAIN_PASSWORD"}}) {
        const Result injected = run(QStringList{"publish", page()} + to, injecting);
        EXPECT_EQ(injected.status, 1) << injected.err.toStdString();
        EXPECT_TRUE(injected.err.trimmed().split('\n').last().contains("holds a line break"))
            << injected.err.toStdString();
        EXPECT_EQ(readAll(server.path("victim.htm")), "live");
    }

    ASSERT_TRUE(tls.start({}, true));
    QProcessEnvironment env = environment();
    env.insert("QM_TEST_PASSWORD", "secret");
    const Result untrusted =
        run({"publish", page(), "--to", QString("ftps://user@127.0.0.1:%1/").arg(tls.port()),
             "--password-env", "QM_TEST_PASSWORD"},
            env);
    EXPECT_EQ(untrusted.status, 1);
    EXPECT_TRUE(untrusted.err.trimmed().split('\n').last().contains("certificate"))
        << untrusted.err.toStdString();

    // The command run in this process: once it holds a password, no core dump can show it.
    qputenv("QUILLMARK_DATA", QFile::encodeName(data.path()));
    qputenv("QM_TEST_PASSWORD", "secret");
    ASSERT_EQ(::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0), 0);
    EXPECT_EQ(cli::PublishCommand({page(), "--dry-run", "--to", "ftp://user@127.0.0.1:9/", "--password-env",
                                   "QM_TEST_PASSWORD"}),
              1);
    EXPECT_EQ(::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);
}

// Against servers that cannot rename or that lie, publishing fails with exit 1 and a
// plain sentence; --allow-direct sends to the one that cannot rename.
TEST_F(CommandLine, PublishFailsOnServersThatCannotRenameOrLie)
{
    ASSERT_TRUE(writeAll(page(), "<html>$49</html>"));
    const QByteArray old = "<html>$39</html>"; // on the server before
    struct Case {
        const char *flag;
        QStringList extra;
        int status;
        const char *needle; // in the output
        QByteArray held;    // on the server afterwards
    };
    const Case cases[] = {
        {"--no-rename", {}, 1, "--allow-direct sends them under their own names", old},
        {"--no-rename", {"--allow-direct"}, 0, "", "<html>$49</html>"},
        {"--lie-stor", {}, 1, "The server says it kept offer.htm, but it holds 0 bytes of it.", old},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.flag + c.extra.join(' ').toStdString());
        QTemporaryDir root;
        ASSERT_TRUE(writeAll(root.filePath("offer.htm"), old));
        testing_support::ServerProcess server(
            testing_support::systemPython(),
            {testing_support::sourceDir() + "/tests/publish/hostile_ftp_server.py", "--root", root.path(),
             c.flag});
        ASSERT_TRUE(server.start());
        QProcessEnvironment env = environment();
        env.insert("QM_TEST_PASSWORD", "x");
        const Result r =
            run(QStringList{"publish", page(), "--to", QString("ftp://u@127.0.0.1:%1/").arg(server.port()),
                            "--password-env", "QM_TEST_PASSWORD"} +
                    c.extra,
                env);
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        EXPECT_TRUE((r.out + r.err).contains(c.needle)) << r.out.toStdString() << r.err.toStdString();
        EXPECT_EQ(readAll(root.filePath("offer.htm")), c.held);
        EXPECT_EQ(QDir(root.path()).entryList(QDir::Files), QStringList{"offer.htm"})
            << "no temporary file left";
    }
}

// A page's tag names and a server's answers reach the console; their escape sequences
// (retitle the terminal, clear it) and carriage returns must print as text, not act.
TEST_F(CommandLine, PagesAndServersCannotDriveTheTerminal)
{
    const auto expectInert = [](const QByteArray &output) {
        for (const QChar c : QString::fromUtf8(output))
            EXPECT_FALSE((c.unicode() < 0x20 && c != u'\n' && c != u'\t') ||
                         (c.unicode() >= 0x7f && c.unicode() < 0xa0))
                << "control character " << c.unicode() << " in " << output.toStdString();
    };
    EXPECT_EQ(cli::Printable("a\tb\x7f\n"), "a\tb?\n"); // tabs are text, DEL is not
    ASSERT_TRUE(writeAll(page(), "<html><head><title>T</title></head><body><e\x1b]0;owned\x07x>hi</"
                                 "e\x1b]0;owned\x07x><c\xc2\x9b"
                                 "2J>!</c\xc2\x9b"
                                 "2J></body></html>"));
    const Result check = run({"check", page()});
    EXPECT_TRUE(check.out.contains("<e?]0;owned?x>") && check.out.contains("<c?2j>"))
        << check.out.toStdString();
    expectInert(check.out + check.err);

    testing_support::ServerProcess server(
        testing_support::systemPython(),
        {testing_support::sourceDir() + "/tests/publish/hostile_ftp_server.py", "--root", work.path(),
         "--escapes"});
    ASSERT_TRUE(server.start());
    QProcessEnvironment env = environment();
    env.insert("QM_TEST_PASSWORD", "x");
    const Result publish =
        run({"publish", page(), "--to", QString("ftp://u@127.0.0.1:%1/").arg(server.port()), "--password-env",
             "QM_TEST_PASSWORD"},
            env);
    EXPECT_EQ(publish.status, 1);
    EXPECT_TRUE(publish.err.contains("?]0;owned?Not you.?[2J")) << publish.err.toStdString();
    expectInert(publish.out + publish.err);
}

// An installation without the keyring module: the password saved in the file stays
// there, and a publish without one says why none can be had.
TEST_F(CommandLine, WithoutTheKeyringModuleAPasswordStaysInItsFile)
{
    QTemporaryDir bin;
    for (const char *name : {"quillmark", "quillmark-publish.so"})
        ASSERT_TRUE(QFile::copy(testing_support::binaryDir() + "/bin/" + name, bin.filePath(name))) << name;
    publish_testing::FtpServer server;
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(writeAll(page(), "<html></html>"));
    installed = bin.filePath("quillmark");
    const auto publish = [&](const QString &user) {
        return run(
            {"publish", page(), "--to", QString("ftp://%1@127.0.0.1:%2/").arg(user).arg(server.port())});
    };
    ASSERT_TRUE(writeAll(data.filePath("ftpinfo.ini"),
                         QString("[TEXT]\r\ntxtServerName=127.0.0.1\r\ntxtServerPort=%1\r\ntxtUserId=user\r\n"
                                 "txtPassword=secret\r\ncboProtocol=FTP\r\n")
                             .arg(server.port())
                             .toUtf8()));
    const Result saved = publish("user");
    EXPECT_EQ(saved.status, 0) << saved.err.toStdString();
    EXPECT_TRUE(readAll(data.filePath("ftpinfo.ini")).contains("txtPassword=secret"));

    const Result none = publish("other");
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(none.err.contains("no keyring is available (") && none.err.contains("quillmark-keyring.so"))
        << none.err.toStdString();
}

// The commands must not load Qt Widgets or WebEngine, let alone start a renderer;
// the loader's own list of the libraries it maps shows it.
TEST_F(CommandLine, NoCommandLoadsWidgetsOrWebEngine)
{
    ASSERT_EQ(generate().status, 0);
    QProcessEnvironment env = environment();
    env.insert("LD_DEBUG", "files");
    for (const QStringList &arguments :
         {QStringList{"--version"},
          QStringList{"generate", "--product", "Ledgerlark", "--template", "Marigold", "--out",
                      work.filePath("b.htm")},
          QStringList{"check", page()}, QStringList{"abtest", "100", "19", "100", "27"},
          QStringList{"publish", page(), "--dry-run", "--to", "ftp://127.0.0.1:9/"}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const Result r = run(arguments, env);
        EXPECT_NE(r.status, -1);
        EXPECT_TRUE(r.err.contains("libQt6Core.so")) << "no loader log";
        EXPECT_FALSE(r.err.contains("libQt6WebEngineCore.so"));
        EXPECT_FALSE(r.err.contains("libQt6Widgets.so"));
        EXPECT_FALSE(r.err.contains("libQt6Network.so")) << "only the upload window checks a page's address";
        EXPECT_FALSE(r.err.contains("QtWebEngineProcess"));
        // Publishing's transport libraries are loaded for publish alone. Preparing a
        // picture loads libvips, whose FITS and HDF5 readers bring libcurl along unused.
        EXPECT_EQ(r.err.contains("quillmark-publish.so"), arguments.first() == "publish");
        if (arguments.first() != "generate") {
            EXPECT_EQ(r.err.contains("libcurl.so"), arguments.first() == "publish");
        }
        EXPECT_EQ(r.err.contains("quillmark-pictures.so"), arguments.first() == "generate");
    }
}

// Publishing loads libcurl's dozens of libraries binding lazily: only because its module
// binds its own symbols at load, so that one not matching the program still fails there.
TEST(ProgramModule, OnlyThePublishingModuleBindsItsOwnSymbolsAtLoad)
{
    for (const char *name : {"quillmark-publish.so", "quillmark-keyring.so"}) {
        const QByteArray path = QFile::encodeName(testing_support::binaryDir() + "/bin/" + name);
        void *module = ::dlopen(path.constData(), RTLD_LAZY | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << ::dlerror();
        EXPECT_EQ(cli::BindsOwnSymbolsAtLoad(module), name == std::string("quillmark-publish.so")) << name;
        ::dlclose(module);
    }
}

TEST_F(CommandLine, APageArgumentOpensTheWindowOnIt)
{
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
    // Debian's WebEngine is not built for the sanitizers and reports its own faults.
    GTEST_SKIP() << "the window starts WebEngine, which the sanitizer run leaves out";
#endif
#endif
    ASSERT_TRUE(writeAll(page(), "<html><body><p>Hello from the command line</p></body></html>"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
    env.insert("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox");
    env.insert("QUILLMARK_EXIT_WHEN_SHOWN", "1");
    env.insert("QUILLMARK_UPDATE_SERVER", "http://127.0.0.1:9/");
    env.insert("LD_DEBUG", "files");
    const Result r = run({"offer.htm"}, env, 90000);
    const QString messages = QString::fromLocal8Bit(r.err).remove( // the loader's log left out
        QRegularExpression(R"(^\s*\d+:.*\n?)", QRegularExpression::MultilineOption));
    EXPECT_EQ(r.status, 0) << messages.toStdString();
    EXPECT_TRUE(QRegularExpression("^QUILLMARK_OPENED [0-9.]+ " + QRegularExpression::escape(page()) + "$",
                                   QRegularExpression::MultilineOption)
                    .match(QString::fromLocal8Bit(r.out))
                    .hasMatch())
        << r.out.toStdString();
    EXPECT_TRUE(r.err.contains("libQt6WebEngineCore.so")) << "the window loads WebEngine";
}

TEST(PublishTarget, AddressesGiveProtocolHostPortUserAndFolder)
{
    using publish::Protocol;
    const struct {
        const char *url;
        Protocol protocol;
        const char *host;
        int port;
        const char *user;
        const char *folder;
    } cases[] = {
        {"ftp://example.com", Protocol::Ftp, "example.com", 0, "", ""},
        {"ftp://me@example.com:2121/public_html/", Protocol::Ftp, "example.com", 2121, "me", "public_html"},
        {"ftp://me@example.com//var/www", Protocol::Ftp, "example.com", 0, "me", "/var/www"},
        {"FTPS://a%40b@host/dir%20one", Protocol::FtpTls, "host", 0, "a@b", "dir one"},
        {"sftp://me@host:2222/home/me/www", Protocol::Sftp, "host", 2222, "me", "/home/me/www"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.url);
        publish::Target t;
        QString error;
        ASSERT_TRUE(cli::ParseTargetUrl(c.url, t, error)) << error.toStdString();
        EXPECT_EQ(t.protocol, c.protocol);
        EXPECT_EQ(t.host, c.host);
        EXPECT_EQ(t.port, c.port);
        EXPECT_EQ(t.user, c.user);
        EXPECT_EQ(t.remoteFolder, c.folder);
        EXPECT_TRUE(t.password.isEmpty());
    }
    // s3://bucket/prefix: the endpoint is the host; path-style with an endpoint unless told.
    const std::pair<const char *, const char *> s3[] = {
        {"s3://site/www/a/?endpoint=http://127.0.0.1:9000&region=eu-west-1",
         "http://127.0.0.1:9000 site www/a eu-west-1 path"},
        {"s3://site", " site  us-east-1 virtual"},
        {"s3://site?endpoint=https://s3.example.com&addressing=virtual",
         "https://s3.example.com site  us-east-1 virtual"},
    };
    for (const auto &[url, expected] : s3) {
        publish::Target t;
        QString error;
        ASSERT_TRUE(cli::ParseTargetUrl(url, t, error)) << error.toStdString();
        EXPECT_EQ(t.protocol, Protocol::S3);
        EXPECT_EQ(QStringList({t.host, t.bucket, t.remoteFolder, t.region, t.pathStyle ? "path" : "virtual"})
                      .join(' '),
                  expected);
    }
    for (const char *bad : {"example.com/www", "http://host/", "ftp:///nohost", "ftp://u:p@host/", "s3:///x",
                            "ftp://host:0/"}) {
        publish::Target t;
        QString error;
        EXPECT_FALSE(cli::ParseTargetUrl(bad, t, error)) << bad;
        EXPECT_FALSE(error.isEmpty());
    }
}
