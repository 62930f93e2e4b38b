#include "desktop/OpenURLInNewWindow.h"

#include "platform/Dialogs.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QWindow>

namespace desktop {
namespace {

std::function<bool(const QUrl &)> &urlOpener()
{
    static std::function<bool(const QUrl &)> opener;
    return opener;
}

std::function<bool(const QString &, const QStringList &)> &processStarter()
{
    static std::function<bool(const QString &, const QStringList &)> starter;
    return starter;
}

QString envOr(const char *name, const QString &fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

QStringList dataDirs()
{
    QStringList dirs{envOr("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"))};
    dirs += envOr("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"))
                .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return dirs;
}

// The value of `key` in `[group]` of a desktop-entry style file; null when absent.
QString iniValue(const QString &path, const QString &group, const QString &key)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inGroup = false;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1Char('[') + group + QLatin1Char(']');
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (inGroup && eq > 0 && line.left(eq).trimmed() == key)
            return line.mid(eq + 1).trimmed();
    }
    return {};
}

QString desktopFilePath(const QString &id)
{
    for (const QString &dir : dataDirs()) {
        const QString path = dir + QStringLiteral("/applications/") + id;
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}

// The Exec line of the desktop's handler for http addresses: the defaults of the
// mimeapps.list files in their order of precedence, then the installed handlers.
QString httpHandlerCommand()
{
    const QString mime = QStringLiteral("x-scheme-handler/http");
    QStringList lists;
    const QString configHome = envOr("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config"));
    QStringList configDirs{configHome};
    configDirs +=
        envOr("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower().split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &dir : configDirs) {
        for (const QString &desktop : desktops)
            lists << dir + QLatin1Char('/') + desktop + QStringLiteral("-mimeapps.list");
        lists << dir + QStringLiteral("/mimeapps.list");
    }
    for (const QString &dir : dataDirs())
        lists << dir + QStringLiteral("/applications/mimeapps.list");

    QStringList candidates;
    for (const QString &list : lists)
        candidates += iniValue(list, QStringLiteral("Default Applications"), mime)
                          .split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &dir : dataDirs())
        candidates +=
            iniValue(dir + QStringLiteral("/applications/mimeinfo.cache"), QStringLiteral("MIME Cache"), mime)
                .split(QLatin1Char(';'), Qt::SkipEmptyParts);

    for (const QString &id : candidates) {
        const QString path = desktopFilePath(id.trimmed());
        if (path.isEmpty())
            continue;
        const QString exec = iniValue(path, QStringLiteral("Desktop Entry"), QStringLiteral("Exec"));
        if (!exec.isEmpty())
            return exec;
    }
    return {};
}

QUrl toUrl(const QString &fileOrUrl)
{
    if (QFileInfo::exists(fileOrUrl))
        return QUrl::fromLocalFile(QFileInfo(fileOrUrl).absoluteFilePath());
    return QUrl::fromUserInput(fileOrUrl);
}

} // namespace

void setUrlOpener(std::function<bool(const QUrl &)> opener)
{
    urlOpener() = std::move(opener);
}

void setProcessStarter(std::function<bool(const QString &, const QStringList &)> starter)
{
    processStarter() = std::move(starter);
}

bool ShellOpen(const QString &fileOrUrl)
{
    if (fileOrUrl.trimmed().isEmpty())
        return false;
    const QUrl url = toUrl(fileOrUrl);
    if (!url.isValid())
        return false;
    if (urlOpener())
        return urlOpener()(url);
    return QDesktopServices::openUrl(url);
}

void OpenLink(const QString &url, bool newWindow)
{
    if (newWindow)
        OpenNewBrowserWindow(url);
    else
        ShellOpen(url);
}

QString BrowserProgramFromCommand(const QString &command)
{
    const QString text = command.trimmed();
    if (text.startsWith(QLatin1Char('"'))) {
        const int close = text.indexOf(QLatin1Char('"'), 1);
        return close < 0 ? QString() : text.left(close + 1);
    }
    QStringList words = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (!words.isEmpty() && words.first() == QLatin1String("env")) {
        words.removeFirst();
        while (!words.isEmpty() && words.first().contains(QLatin1Char('=')))
            words.removeFirst();
    }
    return words.isEmpty() ? QString() : words.first();
}

QString GetDefaultBrowser()
{
    const QString command = httpHandlerCommand();
    return command.isEmpty() ? kInvalidBrowser : BrowserProgramFromCommand(command);
}

void OpenNewBrowserWindow(const QString &url)
{
    const QString browser = GetDefaultBrowser();
    if (browser == kInvalidBrowser) {
        platform::msgBox(kNoBrowserMessage);
        return;
    }
    QString program = browser;
    if (program.size() >= 2 && program.startsWith(QLatin1Char('"')) && program.endsWith(QLatin1Char('"')))
        program = program.mid(1, program.size() - 2);

    QPointer<QWindow> focus = qobject_cast<QGuiApplication *>(QCoreApplication::instance())
                                  ? QGuiApplication::focusWindow()
                                  : nullptr;
    bool started = false;
    if (!program.isEmpty()) {
        const QStringList arguments{url};
        started = processStarter() ? processStarter()(program, arguments)
                                   : QProcess::startDetached(program, arguments);
    }
    // A registered command that names no usable program: the desktop's own opener.
    if (!started)
        started = ShellOpen(url);
    if (!started) {
        platform::msgBox(kNoBrowserMessage);
        return;
    }
    QCoreApplication::processEvents();
    if (focus)
        focus->requestActivate();
}

} // namespace desktop
