#include "cli/PublishCommand.h"

#include "check/PageCheck.h"
#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "cli/ConsoleDialogs.h"
#include "cli/PublishTarget.h"
#include "generation/FileList.h"
#include "platform/AppFolder.h"
#include "platform/Dialogs.h"
#include "publish/HashCache.h"
#include "publish/SavedTarget.h"
#include "publish/UploadEngine.h"
#include "publish/VersionStore.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <csignal>
#include <unistd.h>

namespace cli {
namespace {

const CommandHelp kPublishHelp = {
    QStringLiteral("quillmark publish PAGE.htm|LIST.files|FOLDER... [--to URL]\n"
                   "                 [--password-env VAR | --password-file FILE] [--all] [--dry-run]\n"
                   "                 [--access-key-env VAR --secret-env VAR]\n"
                   "                 [--include-hidden] [--allow-direct] [--active] [--connections N]\n"
                   "                 [--keep-versions N] [--json]\n"
                   "       quillmark publish --rollback [N] [--to URL] [...]"),
    QStringLiteral("Sends pages and the files they need to your web server, with the engine of the\n"
                   "upload window. A page sends the files its PAGE.htm.files list names (without\n"
                   "a list, the local files it refers to); a .files list sends what it names; a\n"
                   "folder sends its files and subfolders. Only files changed since they were\n"
                   "last sent go out unless --all is given.\n"
                   "\n"
                   "Only the site goes out: hidden files and folders (.env, .git) are left out\n"
                   "unless --include-hidden is given, links are followed only inside the folder,\n"
                   "and Quillmark's own files (the saved settings with their password, products,\n"
                   "manifests) and files outside a page's folder are never sent. Each file left\n"
                   "out is listed; missing files and files refused make the publish fail.\n"
                   "\n"
                   "Each publish that goes through whole is kept as a version of the server (see\n"
                   "'quillmark versions'): the files it left there and a copy of each. --rollback\n"
                   "sends the version N publishes back (default 1, the one before the last) as a\n"
                   "publish of its own: only the files that differ from the server go out."),
    QStringLiteral("URL is ftp://, ftps:// (FTP with TLS) or sftp://, then [user@]host[:port]/folder.\n"
                   "For FTP the folder is relative to the login folder; for SFTP it is a full path.\n"
                   "S3-compatible storage: s3://bucket/prefix?endpoint=URL&region=REGION, with\n"
                   "&addressing=path or virtual (path by default with an endpoint; without one the\n"
                   "bucket is on AWS, addressed by virtual host). The access key and the secret\n"
                   "come from the environment variables named by --access-key-env and --secret-env.\n"
                   "Without --to, the server settings saved in the upload window are used.\n"
                   "A remote folder the server lacks is created, with its parents (\"created FOLDER\").\n"
                   "--active lets the server open the data connections, for FTP servers that\n"
                   "allow no passive mode.\n"
                   "\n"
                   "The password is never taken from the command line: it comes from the\n"
                   "environment variable named by --password-env, from the first line of the\n"
                   "file named by --password-file (which only its owner may read: chmod 600),\n"
                   "or from the saved settings of the upload window for the same protocol, server,\n"
                   "port and user, or else from the desktop's keyring for them. A user name with no\n"
                   "password and no keyring to ask stops an FTP publish; SFTP then tries the\n"
                   "user's SSH keys. A password file may hold at most 4 KB.\n"
                   "\n"
                   "Progress goes to standard error, the result to standard output.\n"
                   "\n"
                   "Ctrl+C lets the files being sent arrive whole and stops there.\n"
                   "\n"
                   "A file that replaces one on the server is sent under a temporary name and\n"
                   "renamed into place, so a visitor never gets half of it. A server that refuses\n"
                   "to rename makes the publish fail before anything is replaced, unless\n"
                   "--allow-direct is given: the files are then sent under their own names.\n"
                   "\n"
                   "Files go over 3 connections side by side (--connections, 1 to 8), pictures\n"
                   "and styles before the pages that show them. A server that allows fewer\n"
                   "(it answers 421, or refuses to connect) gets fewer, and the publish goes on.\n"
                   "The last 10 versions of each server are kept; --keep-versions (or KeepVersions\n"
                   "in ftpinfo.ini) sets how many, from 1 to 1000.\n"
                   "\n"
                   "Example:\n"
                   "  quillmark publish ~/site/index.htm --to ftp://me@example.com/public_html \\\n"
                   "      --password-file ~/.config/quillmark/password\n"
                   "  quillmark publish ~/site --to 's3://bucket/site?endpoint=https://s3.example.com' \\\n"
                   "      --access-key-env S3_KEY --secret-env S3_SECRET\n")};

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
    case publish::Action::Skipped:
        return QStringLiteral("skipped");
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
                clearLine();
                write(stderr, publish::ProgressLine(done, total, bytesDone, bytesTotal, m_rate, m_left) +
                                  QLatin1Char(' ') + QFileInfo(file).fileName());
                m_open = true;
            });
        QObject::connect(&engine, &publish::UploadEngine::transferRate, &engine,
                         [this](qint64 bytesPerSecond, int secondsLeft) {
                             m_rate = bytesPerSecond;
                             m_left = secondsLeft;
                         });
        QObject::connect(&engine, &publish::UploadEngine::status, &engine, [this](const QString &line) {
            if (!m_terminal)
                write(stderr, OneLine(line) + QLatin1Char('\n'));
        });
        // A file left out is worth a line of its own on a terminal too.
        QObject::connect(&engine, &publish::UploadEngine::fileDone, &engine,
                         [this](const publish::FileResult &r) {
                             if (m_terminal && r.remote.isEmpty() && !r.error.isEmpty()) {
                                 finish();
                                 write(stderr, r.error + QStringLiteral(": ") + r.local + QLatin1Char('\n'));
                             }
                         });
    }
    ~Progress() { finish(); }
    void finish()
    {
        if (m_open) {
            clearLine();
            std::fflush(stderr);
        }
        m_open = false;
    }

private:
    // Back to the start of the line, and clear it: the terminal's own sequence, which
    // write() would show as text.
    static void clearLine() { std::fputs("\r\x1b[K", stderr); }

    bool m_terminal;
    bool m_open = false;
    qint64 m_rate = 0;
    int m_left = -1;
};

// Ctrl+C (or a TERM from a scheduler) lets the file being sent arrive whole and stops
// there, so the server never keeps half a file; a second one ends the program at once.
volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void onInterrupt(int signal)
{
    g_interrupted = 1;
    std::signal(signal, SIG_DFL);
}

class InterruptStopsAfterTheCurrentFile {
public:
    explicit InterruptStopsAfterTheCurrentFile(publish::UploadEngine &engine)
    {
        g_interrupted = 0;
        m_int = std::signal(SIGINT, onInterrupt);
        m_term = std::signal(SIGTERM, onInterrupt);
        // The engine processes events while it waits; a flag is all a handler may set.
        QObject::connect(&m_poll, &QTimer::timeout, &engine, [&engine, this] {
            if (g_interrupted && !m_cancelled) {
                m_cancelled = true;
                write(stderr, QStringLiteral("\nquillmark publish: stopping after the files under way\n"));
                engine.cancel();
            }
        });
        m_poll.start(100);
    }
    ~InterruptStopsAfterTheCurrentFile()
    {
        std::signal(SIGINT, m_int);
        std::signal(SIGTERM, m_term);
    }

private:
    QTimer m_poll;
    bool m_cancelled = false;
    void (*m_int)(int) = SIG_DFL;
    void (*m_term)(int) = SIG_DFL;
};

// The password the options and the settings file do not give is in the keyring; a
// password still in the file moves there. Returns an exit status when the publish
// cannot go on, else -1.
int passwordFromKeyring(const QString &command, publish::SavedTarget &saved, const QString &ftpinfo,
                        publish::Target &target)
{
    const bool savedOne = publish::SavedPasswordServes(saved.target, target);
    if (!target.password.isEmpty() && !(savedOne && saved.passwordInFile))
        return -1;
    // A prompt no one sees (a locked keyring, a script) must not hold the publish up.
    const auto keyring = publish::DesktopKeyring(::isatty(STDIN_FILENO) == 1 ? 120000 : 10000);
    if (!target.password.isEmpty()) {
        saved.store(ftpinfo, *keyring, nullptr);
        return -1;
    }
    if (target.user.isEmpty())
        return -1; // anonymous
    const publish::SecretResult found = keyring->read(publish::PasswordKey(target));
    if (found.status == publish::SecretStatus::Ok)
        target.password = found.secret;
    else if (savedOne && saved.storage == publish::PasswordStorage::Ask)
        return fail(command,
                    QStringLiteral("the upload window asks for the password of %1 each time; give "
                                   "--password-env VAR or --password-file FILE")
                        .arg(publish::PasswordKey(target)),
                    kFailed);
    // SFTP may still log in with the user's SSH keys.
    else if (found.status == publish::SecretStatus::NoKeyring && target.protocol != publish::Protocol::Sftp)
        return fail(command,
                    QStringLiteral("no password for %1: no keyring is available (%2); give --password-env "
                                   "VAR or --password-file FILE")
                        .arg(publish::PasswordKey(target), OneLine(found.reason)),
                    kFailed);
    return -1;
}

} // namespace

int PublishCommand(const QStringList &arguments)
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
    const QCommandLineOption includeHidden(
        QStringLiteral("include-hidden"),
        QStringLiteral("Send hidden files and folders (names beginning with a dot) of folders too."));
    const QCommandLineOption allowDirect(
        QStringLiteral("allow-direct"),
        QStringLiteral("Send files under their own names to a server that refuses to rename them."));
    const QCommandLineOption active(
        QStringLiteral("active"),
        QStringLiteral("FTP active mode: the server opens the data connections (for servers that need it)."));
    const QCommandLineOption accessKeyEnv(
        QStringLiteral("access-key-env"),
        QStringLiteral("S3: take the access key from this environment variable."), QStringLiteral("VAR"));
    const QCommandLineOption secretEnv(QStringLiteral("secret-env"),
                                       QStringLiteral("S3: take the secret from this environment variable."),
                                       QStringLiteral("VAR"));
    const QCommandLineOption connections(
        QStringLiteral("connections"),
        QStringLiteral("Send files over N connections side by side (1 to 8, default 3)."),
        QStringLiteral("N"));
    const QCommandLineOption rollback(
        QStringLiteral("rollback"),
        QStringLiteral("Send the version N publishes back again (N after the option, default 1)."));
    const QCommandLineOption keepVersions(QStringLiteral("keep-versions"),
                                          QStringLiteral("Keep the last N versions of the server (1-1000)."),
                                          QStringLiteral("N"));
    parser.addOptions({to, passwordEnv, passwordFile, accessKeyEnv, secretEnv, all, dryRun, includeHidden,
                       allowDirect, active, connections, rollback, keepVersions, json});
    // "--rollback=N" reads as "--rollback N": the number is optional.
    QStringList split;
    for (const QString &argument : arguments) {
        if (argument.startsWith(QLatin1String("--rollback=")))
            split << QStringLiteral("--rollback") << argument.mid(11);
        else
            split << argument;
    }
    if (const int status = parse(parser, command, split, kPublishHelp); status >= 0)
        return status;
    publish::Options options;
    if (parser.isSet(connections)) {
        bool whole = false;
        options.connections = parser.value(connections).toInt(&whole);
        if (!whole || options.connections < 1 || options.connections > publish::kMaxConnections)
            return fail(command,
                        QStringLiteral("--connections takes a whole number from 1 to 8, not \"%1\"")
                            .arg(parser.value(connections)),
                        kBadUsage);
    }

    const QString ftpinfo = publish::SavedTarget::defaultPath();
    publish::SavedTarget savedSettings = publish::SavedTarget::load(ftpinfo);
    int keep = savedSettings.keepVersions;
    // The saved server's connection count goes with its other settings.
    if (!parser.isSet(connections) && !parser.isSet(to))
        options.connections = savedSettings.connections;
    if (parser.isSet(keepVersions)) {
        bool numeric = false;
        keep = parser.value(keepVersions).toInt(&numeric);
        if (!numeric || keep < 1 || keep > publish::kMaxKeepVersions)
            return fail(command, QStringLiteral("--keep-versions takes a number from 1 to 1000"), kBadUsage);
    }

    // What to send.
    const QStringList paths = parser.positionalArguments();
    int back = 0;
    if (parser.isSet(rollback)) {
        bool numeric = paths.isEmpty();
        back = paths.isEmpty() ? 1 : paths.first().toInt(&numeric);
        if (paths.size() > 1 || !numeric || back < 1)
            return fail(command,
                        QStringLiteral("--rollback takes how many versions back (1 or more), and no pages"),
                        kBadUsage);
    } else if (paths.isEmpty())
        return fail(command, QStringLiteral("nothing to publish: give a page, a .files list or a folder"),
                    kBadUsage);
    QVector<publish::Row> rows;
    QVector<publish::FileResult> leftOut; // lines of the lists that are not sent
    QStringList seen;
    const auto add = [&](const publish::Row &row) {
        if (!seen.contains(row.localPath)) {
            seen << row.localPath;
            rows.push_back(row);
        }
    };
    for (const QString &given : back > 0 ? QStringList() : paths) {
        const QString path = absolute(given);
        const QFileInfo info(path);
        if (info.isDir()) {
            add({path, true});
        } else if (!info.isFile() || !info.isReadable()) {
            return fail(command, QStringLiteral("cannot read %1").arg(given), kBadUsage);
        } else if (path.endsWith(QStringLiteral(".files"), Qt::CaseInsensitive)) {
            for (const publish::Row &row : publish::RowsForPage(path.chopped(6), &leftOut))
                add(row);
        } else if (QFileInfo(generation::FileList::PathFor(path)).isFile()) {
            for (const publish::Row &row : publish::RowsForPage(path, &leftOut))
                add(row);
        } else {
            // Without a list the page goes with the local files it refers to, as from
            // the upload window: alone, it would go live without its pictures.
            for (const publish::Row &row :
                 publish::RowsForPageAndReferences(path, check::LocalReferences(path), &leftOut))
                add(row);
        }
    }
    if (back == 0 && rows.isEmpty() && leftOut.isEmpty())
        return fail(command, QStringLiteral("the lists name no file that exists"), kBadUsage);
    for (const publish::FileResult &line : std::as_const(leftOut))
        write(stderr, QStringLiteral("%1: %2: %3\n").arg(prefix(command), line.local, line.error));

    // Every password source below is a secret held in this process from here on.
    publish::HoldingPassword();

    // Where to, and as whom.
    publish::SavedTarget &savedTarget = savedSettings;
    const publish::Target &saved = savedTarget.target;
    publish::Target target;
    if (parser.isSet(to)) {
        QString error;
        if (!ParseTargetUrl(parser.value(to), target, error))
            return fail(command, error, kBadUsage);
        if (parser.isSet(accessKeyEnv)) {
            const QByteArray variable = parser.value(accessKeyEnv).toLocal8Bit();
            if (!qEnvironmentVariableIsSet(variable.constData()))
                return fail(
                    command,
                    QStringLiteral("the environment variable %1 is not set").arg(parser.value(accessKeyEnv)),
                    kBadUsage);
            target.user = qEnvironmentVariable(variable.constData());
        }
        // The saved password serves the saved protocol, server, port and user only: an
        // FTPS password must not travel in clear to the same host's plain FTP.
        if (publish::SavedPasswordServes(saved, target))
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
    if ((parser.isSet(accessKeyEnv) || parser.isSet(secretEnv)) && target.protocol != publish::Protocol::S3)
        return fail(command, QStringLiteral("--access-key-env and --secret-env are for s3:// addresses"),
                    kBadUsage);
    if (int(parser.isSet(passwordEnv)) + int(parser.isSet(passwordFile)) + int(parser.isSet(secretEnv)) > 1)
        return fail(command, QStringLiteral("give --password-env, --password-file or --secret-env, not more"),
                    kBadUsage);
    if (target.protocol == publish::Protocol::S3 && target.user.isEmpty())
        return fail(command, QStringLiteral("no access key: give --access-key-env"), kBadUsage);
    // The secret: from the option given, else the saved settings' (above) or the keyring's.
    if (parser.isSet(passwordEnv) || parser.isSet(secretEnv)) {
        const QString variable = parser.value(parser.isSet(secretEnv) ? secretEnv : passwordEnv);
        if (!qEnvironmentVariableIsSet(variable.toLocal8Bit().constData()))
            return fail(command, QStringLiteral("the environment variable %1 is not set").arg(variable),
                        kBadUsage);
        target.password = qEnvironmentVariable(variable.toLocal8Bit().constData());
    } else if (parser.isSet(passwordFile)) {
        QString error;
        if (!ReadPasswordFile(parser.value(passwordFile), target.password, error))
            return fail(command, error, kBadUsage);
    } else if (const int status = passwordFromKeyring(command, savedTarget, ftpinfo, target); status >= 0) {
        return status;
    }

    target.activeMode = target.activeMode || parser.isSet(active);

    options.onlyChanged = !parser.isSet(all);
    options.dryRun = parser.isSet(dryRun);
    options.failedBefore = std::any_of(leftOut.cbegin(), leftOut.cend(), [](const publish::FileResult &r) {
        return r.action == publish::Action::Failed;
    });
    options.includeHidden = parser.isSet(includeHidden);
    options.allowDirect = parser.isSet(allowDirect);
    options.manifestFolder = platform::manifestFolder();
    options.hashCache = publish::HashCache::defaultPath();

    ConsoleDialogs dialogs(prefix(command));
    platform::setDialogs(&dialogs);
    publish::UploadEngine engine;
    publish::Summary summary;
    publish::VersionStore versions;
    if (back == 0 && !options.dryRun) {
        options.readWhole = [&versions](const QByteArray &hash, const QByteArray &bytes) {
            versions.copyAhead(hash, bytes);
        };
        options.readAll = [&versions] { versions.noMoreCopies(); };
    }
    QString rollbackError;
    {
        Progress progress(engine);
        InterruptStopsAfterTheCurrentFile interrupt(engine);
        if (back > 0)
            summary = publish::Rollback(engine, versions, target, back, options, keep, &rollbackError);
        else if (!rows.isEmpty())
            summary = engine.run(rows, target, options);
    }
    platform::setDialogs(nullptr);
    if (!rollbackError.isEmpty())
        return fail(command, rollbackError, kFailed);
    summary.files = leftOut + summary.files;
    summary.failed += int(leftOut.size());
    // A roll-back records itself; a publish is recorded only when all of it went out.
    if (back == 0 && !options.dryRun) {
        const QString notRecorded = versions.record(target, summary, keep, options.manifestFolder);
        if (!notRecorded.isEmpty())
            write(stderr, QStringLiteral("%1: %2\n").arg(prefix(command), notRecorded));
    }

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
        if (!summary.createdFolders.isEmpty())
            result.insert(QStringLiteral("created"), QJsonArray::fromStringList(summary.createdFolders));
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
        for (const QString &folder : summary.createdFolders)
            text += QStringLiteral("created ") + folder + QLatin1Char('\n');
        text += QStringLiteral("%1 sent, %2 unchanged, %3 failed\n")
                    .arg(summary.sent)
                    .arg(summary.unchanged)
                    .arg(summary.failed);
        write(stdout, text);
    }

    if (summary.renameRefused)
        return fail(command,
                    QStringLiteral("the server refuses to rename files into place, so nothing was replaced; "
                                   "--allow-direct sends them under their own names"),
                    kFailed);
    if (!summary.error.isEmpty()) {
        // The first line is the plain sentence; the report's message names the cause
        // (an untrusted certificate or host key, say), which the sentence alone does not.
        QString line = OneLine(summary.error.section(QLatin1Char('\n'), 0, 0));
        const QString marker = QStringLiteral("Error Msg: ");
        const int at = summary.error.indexOf(marker);
        if (at >= 0) {
            const QString cause =
                OneLine(summary.error.mid(at + marker.size()).section(QLatin1Char('\r'), 0, 0));
            if (!cause.isEmpty() && !line.contains(cause))
                line += QStringLiteral(" ") + cause;
        }
        return fail(command, line, kFailed);
    }
    if (summary.failed > 0)
        return fail(command,
                    summary.failed == 1 ? QStringLiteral("1 file not published")
                                        : QStringLiteral("%1 files not published").arg(summary.failed),
                    kFailed);
    if (summary.cancelled)
        return fail(command, QStringLiteral("stopped before every file was sent"), kFailed);
    return kDone;
}

} // namespace cli
