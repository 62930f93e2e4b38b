// The FTP client's handling of a server's listing ("Get all" over a transport that
// answers with the fuzzer's bytes), and the transport's splitting of the commands the
// client builds, and the publishing engine's listing parser: every file fetched is a listed name, and its Get
// command splits back into that name and its local path.
#define FUZZ_WITH_QT
#include "FuzzSupport.h"
#include "publish/FTP.h"
#include "publish/UploadEngine.h"
#include "publish/transport/FtpCommand.h"
#include "publish/transport/Transport.h"

#include <QDir>
#include <QRegularExpression>
#include <QStringList>

namespace {

class ListingTransport : public transport::Transport {
public:
    QString listing;
    QStringList commands;
    qsizetype read = 0;

    void Execute(const QString &operation) override
    {
        commands << operation;
        read = 0;
    }
    bool StillExecuting() const override { return false; }
    int ResponseCode() const override { return transport::kTransportOk; }
    QString ResponseInfo() const override { return {}; }
    QString GetChunk(int size) override
    {
        if (commands.isEmpty() || commands.last() != QLatin1String("Dir"))
            return {};
        const QString piece = listing.mid(read, size);
        read += piece.size();
        return piece;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const QString pattern = fuzzing::text(data, 8);
    const QString putArguments = fuzzing::text(data, 128);
    auto owned = std::make_unique<ListingTransport>();
    ListingTransport &transport = *owned;
    transport.listing =
        QString::fromLocal8Bit(QByteArray::fromStdString(data.ConsumeRemainingBytesAsString()));
    publish::FTP ftp(std::move(owned));
    const QString localFolder = QStringLiteral("/nonexistent-fuzz-folder/");
    QString error;
    ftp.FTPGetAll(localFolder, pattern, QStringLiteral("remote"), error);

    const QStringList listed = transport.listing.split(QStringLiteral("\r\n"));
    const bool lineEndsAreCrLf =
        transport.listing.count(QLatin1Char('\r')) == transport.listing.count(QStringLiteral("\r\n")) &&
        transport.listing.count(QLatin1Char('\n')) == transport.listing.count(QStringLiteral("\r\n"));
    for (const QString &command : transport.commands) {
        if (!command.startsWith(QLatin1String("Get ")))
            continue;
        QString remote, local;
        const bool split = transport::SplitGetArguments(command.mid(4).trimmed(), remote, local);
        if (!split) {
            // Only a name of blanks, a name with quotes (known, above) or one cut at a
            // lone CR gives nothing to split.
            FUZZ_CHECK(!lineEndsAreCrLf || command.count(QLatin1Char('"')) > 2 ||
                           command.mid(4).section(QLatin1Char('"'), 0, 0).trimmed().isEmpty(),
                       command);
            continue;
        }
        // Names with quotes or blanks at their ends do not survive the command text:
        // known, and left to the client's rewrite.
        if (remote.contains(QLatin1Char('"')) || local.contains(QLatin1Char('"')))
            continue;
        const QString name = local.mid(localFolder.size());
        if (name != name.trimmed())
            continue;
        FUZZ_CHECK(local == localFolder + remote, command);
        FUZZ_CHECK(QDir::cleanPath(local).startsWith(localFolder) &&
                       QDir::cleanPath(local) != localFolder + "..",
                   command);
        FUZZ_CHECK(remote.contains(pattern, Qt::CaseInsensitive), command);
        // Lines end in CR LF (the transport makes them so); a lone CR inside a name
        // cuts it, which the transport then refuses as a control character.
        if (lineEndsAreCrLf) {
            bool found = false;
            for (const QString &line : listed)
                found = found || line == remote || line.trimmed() == remote;
            FUZZ_CHECK(found, command);
        }
    }
    // A split put command gives back exactly what it was made of, quotes in paths included.
    QString local, remote;
    if (transport::SplitPutArguments(putArguments, local, remote))
        FUZZ_CHECK(!remote.isEmpty() && QStringLiteral("\"%1\" %2").arg(local, remote) == putArguments,
                   putArguments);

    // The publishing engine's listing parser: every name it gives is one name inside the
    // folder (the cleanup of temporary files deletes by it), and every line it drops
    // for its name is reported.
    QStringList refused;
    const QVector<publish::RemoteEntry> entries = publish::ParseListing(transport.listing, &refused);
    for (const publish::RemoteEntry &entry : entries) {
        const QString &name = entry.name;
        bool plain = !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
                     !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
        for (const QChar c : name)
            plain = plain && c.unicode() >= 0x20 && c.unicode() != 0x7f;
        FUZZ_CHECK(plain, name);
        FUZZ_CHECK(QDir::cleanPath(QStringLiteral("/folder/") + name).section(QLatin1Char('/'), 0, 1) ==
                       QLatin1String("/folder"),
                   name);
    }
    for (const QString &name : refused)
        FUZZ_CHECK(!publish::IsPlainName(name), name);

    // Unix lines the parser reads by hand give what its expression takes from them, and
    // no line the expression refuses is read so.
    static const QRegularExpression unixLine(QStringLiteral(
        "^([-dlcbps])[-rwxsStTl@+.]{9}\\S*\\s+\\d+\\s+(?:\\S+\\s+){1,2}?(\\d+)\\s+"
        "(?:[A-Za-z]{3}\\s+\\d{1,2}|\\d{1,2}\\s+[A-Za-z]{3})\\s+(?:\\d{1,2}:\\d{2}|\\d{4}) (.+)$"));
    static const QRegularExpression dosLine(QStringLiteral(
        "^\\d{2}-\\d{2}-\\d{2,4}\\s+\\d{1,2}:\\d{2}\\s*(?:[AaPp][Mm])?\\s+(<DIR>|\\d+)\\s+(.+)$"));
    for (const QString &line : transport.listing.split(QRegularExpression(QStringLiteral("[\r\n]")))) {
        const QString facts = line.section(QLatin1Char(' '), 0, 0);
        const auto m = unixLine.match(line);
        const QVector<publish::RemoteEntry> got = publish::ParseListing(line);
        if (facts.contains(QLatin1Char('=')) || got.size() != 1)
            continue;
        if (m.hasMatch())
            FUZZ_CHECK(got[0].size == m.captured(2).toLongLong() &&
                           got[0].isFolder == (m.captured(1) == QLatin1String("d")) &&
                           got[0].name == (m.captured(1) == QLatin1String("l")
                                               ? m.captured(3).section(QStringLiteral(" -> "), 0, 0)
                                               : m.captured(3)),
                       line);
        else if (!dosLine.match(line).hasMatch())
            FUZZ_CHECK(got[0].name == line && got[0].size < 0, line); // a bare name
    }
    return 0;
}
