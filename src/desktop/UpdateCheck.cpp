#include "desktop/UpdateCheck.h"

#include <QStringList>
#include <QUrl>

#ifndef QUILLMARK_UPDATE_SERVER
#define QUILLMARK_UPDATE_SERVER "http://updates.quillmark.invalid/"
#endif

namespace desktop {
namespace {

QString &serverOverride()
{
    static QString value;
    return value;
}

QString endpointUrl(const QString &base, const char *endpoint, const QString &machineId,
                    const QString &seconds)
{
    const auto encode = [](const QString &v) { return QString::fromLatin1(QUrl::toPercentEncoding(v)); };
    return base + QLatin1String(endpoint) + QStringLiteral("?v=") + kProgramVersion +
           QStringLiteral("&wm=1") + QStringLiteral("&r=") + encode(seconds) + QStringLiteral("&user=") +
           encode(machineId);
}

} // namespace

QString updateServer()
{
    QString base = serverOverride();
    if (base.isEmpty())
        base = qEnvironmentVariable("QUILLMARK_UPDATE_SERVER");
    if (base.isEmpty())
        base = QStringLiteral(QUILLMARK_UPDATE_SERVER);
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base;
}

void setUpdateServer(const QString &baseAddress)
{
    serverOverride() = baseAddress;
}

QString SecondsSinceMidnightText(const QTime &time)
{
    const float seconds = float(time.msecsSinceStartOfDay()) / 1000.0f;
    return QString::number(double(seconds), 'g', 7);
}

QString VersionQueryUrl(const QString &base, const QString &machineId, const QString &seconds)
{
    return endpointUrl(base, "getversion.php", machineId, seconds);
}

QString UpdatePageUrl(const QString &base, const QString &machineId, const QString &seconds)
{
    return endpointUrl(base, "getupdate.php", machineId, seconds);
}

int VersionNumber(const QString &version)
{
    QString digits = version;
    digits.remove(QLatin1Char('.'));
    digits = digits.trimmed();
    if (digits.isEmpty())
        return 0;
    bool ok = false;
    const short value = digits.toShort(&ok);
    return ok ? value : -1;
}

UpdateAnswer ParseVersionAnswer(const QString &answer)
{
    const QStringList fields = answer.split(QStringLiteral("||"));
    if (fields.size() != 3)
        return UpdateAnswer::Unreadable;
    const int remote = VersionNumber(fields.at(1));
    // A field that is no number (-1) is never newer.
    return remote > VersionNumber(kProgramVersion) ? UpdateAnswer::Newer : UpdateAnswer::NotNewer;
}

} // namespace desktop
