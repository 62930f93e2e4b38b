#pragma once
// Opening addresses and files with the user's programs. Processes are started with
// an argument list, never through a shell.

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

namespace desktop {

inline const QString kInvalidBrowser = QStringLiteral("Invalid");
inline const QString kNoBrowserMessage = QStringLiteral("Unable to open URL. Install browser first!");

// Opens a file or web address with its associated program (QDesktopServices by
// default). Returns false when nothing could open it.
bool ShellOpen(const QString &fileOrUrl);

// newWindow: a new instance of the default browser; otherwise the shell's open action.
void OpenLink(const QString &url, bool newWindow);
void OpenNewBrowserWindow(const QString &url);

// The program registered for http addresses (the desktop's x-scheme-handler/http
// handler), in double quotes when registered so, or "Invalid" when none is registered.
QString GetDefaultBrowser();

// The program part of a registered command: a quoted program path with both quotes;
// for an unquoted command its first word (an "env VAR=..." prefix skipped); empty when
// the command names no program.
QString BrowserProgramFromCommand(const QString &command);

// Test seams: replace how addresses are opened and how processes are started.
// An empty function restores the default.
void setUrlOpener(std::function<bool(const QUrl &)> opener);
void setProcessStarter(std::function<bool(const QString &program, const QStringList &arguments)> starter);

} // namespace desktop
