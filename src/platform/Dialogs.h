#pragma once
// Every message box and common dialog of the program goes through one Dialogs
// object. The program installs the Qt implementation; tests install a double that
// answers dialogs from a script and records every message, so no test ever waits
// on a modal window.

#include <QFont>
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace platform {

inline const QString kAppTitle = QStringLiteral("Quillmark");

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Icon { None, Information, Warning, Critical, Question };
enum class Answer { Ok, Cancel, Yes, No };

// A colour value with red in the lowest byte, then green, then blue (0x00BBGGRR).
using ColorValue = quint32;

struct FileRequest {
    QString title;
    // Filter in the "Description (*.x)|*.x|All files (*.*)|*.*" form of the windows;
    // the Qt implementation turns it into Qt's own form.
    QString filter;
    QString fileName;  // preselected file name or path; empty for none
    QString directory; // start folder; empty for the current one
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    virtual Answer message(const QString &text, const QString &title, Buttons buttons, Icon icon,
                           QWidget *parent = nullptr) = 0;
    // A question with buttons of its own, left to right; the last one is the cancel
    // button. Returns the index of the button chosen, or -1 when the box was closed
    // without a choice. The base implementation answers -1.
    virtual int choose(const QString &text, const QString &title, const QStringList &buttons, Icon icon,
                       QWidget *parent = nullptr);
    // Each returns an empty result when the user cancels.
    virtual QString openFile(const FileRequest &request, QWidget *parent = nullptr) = 0;
    virtual QStringList openFiles(const FileRequest &request, QWidget *parent = nullptr) = 0;
    virtual QString saveFile(const FileRequest &request, QWidget *parent = nullptr) = 0;
    virtual QString chooseFolder(const QString &title, const QString &startFolder,
                                 QWidget *parent = nullptr) = 0;
    virtual std::optional<ColorValue> chooseColor(ColorValue initial, QWidget *parent = nullptr) = 0;
    virtual std::optional<QFont> chooseFont(const QFont &initial, QWidget *parent = nullptr) = 0;
    // A one-line text prompt (hyperlink address, image address, ...).
    virtual std::optional<QString> askText(const QString &title, const QString &label, const QString &initial,
                                           QWidget *parent = nullptr) = 0;
    // A password prompt (typed characters hidden). The base implementation answers
    // as cancelled.
    virtual std::optional<QString> askPassword(const QString &title, const QString &label,
                                               QWidget *parent = nullptr);
};

// The installed instance. Before anything is installed, a fallback answers every
// dialog as cancelled and writes messages to the log, so logic run without a
// window never blocks.
Dialogs &dialogs();
// Installs `d` (not owned); nullptr restores the fallback.
void setDialogs(Dialogs *d);

// The ordinary message: application title, OK only, no icon.
void msgBox(const QString &text, QWidget *parent = nullptr);

// "A|*.a|B|*.b" -> {"A", "*.a"}, {"B", "*.b"} pairs turned into Qt's "A (*.a);;B (*.b)".
QString toQtFilter(const QString &filter);

} // namespace platform
