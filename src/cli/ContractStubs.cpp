// TEMPORARY stand-ins; see ContractStubs.h.
#include "cli/ContractStubs.h"

#include "platform/IniFile.h"

#include <QFile>
#include <QFileInfo>

namespace publish {
UploadEngine::UploadEngine(std::function<std::unique_ptr<platform::Transport>()>, QObject *parent)
    : QObject(parent)
{
}
Summary UploadEngine::run(const QVector<Row> &rows, const Target &, const Options &)
{
    Summary s;
    for (const Row &row : rows)
        s.files.push_back({row.localPath, QString(), Action::Failed, QStringLiteral("not available yet")});
    s.failed = int(s.files.size());
    return s;
}
void UploadEngine::cancel() {}
Target LoadSavedTarget(const QString &ftpinfoIni)
{
    platform::IniFile ini;
    ini.load(ftpinfoIni);
    Target t;
    t.host = ini.value(QStringLiteral("TEXT"), QStringLiteral("txtServerName"));
    t.port = ini.value(QStringLiteral("TEXT"), QStringLiteral("txtServerPort")).toInt();
    t.user = ini.value(QStringLiteral("TEXT"), QStringLiteral("txtUserId"));
    t.password = ini.value(QStringLiteral("TEXT"), QStringLiteral("txtPassword"));
    t.remoteFolder = ini.value(QStringLiteral("TEXT"), QStringLiteral("txtRemoteDir"));
    return t;
}
QVector<Row> RowsForPage(const QString &pagePath)
{
    QVector<Row> rows;
    QFile list(pagePath + QStringLiteral(".files"));
    if (!list.open(QIODevice::ReadOnly))
        return rows;
    for (const QByteArray &line : list.readAll().split('\n')) {
        const QString path = QString::fromLocal8Bit(line).trimmed();
        if (!path.startsWith(QStringLiteral("::")) && QFileInfo(path).isFile())
            rows.push_back({path, false});
    }
    return rows;
}
} // namespace publish
