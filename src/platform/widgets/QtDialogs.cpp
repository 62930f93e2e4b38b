#include "QtDialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace platform {
namespace {

QString startPath(const FileRequest &r)
{
    if (r.fileName.isEmpty())
        return r.directory;
    if (r.directory.isEmpty() || QFileInfo(r.fileName).isAbsolute())
        return r.fileName;
    return r.directory + QLatin1Char('/') + r.fileName;
}

// Messages quote file names, template text and servers' answers. Taken as rich text
// (Qt guesses so from a tag on the first line), a server could show a link that
// opens in the browser, or hide the sentence around it.
void setPlainText(QMessageBox &box, const QString &text)
{
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
}

} // namespace

Answer QtDialogs::message(const QString &text, const QString &title, Buttons buttons, Icon icon,
                          QWidget *parent)
{
    QMessageBox box(parent);
    box.setWindowTitle(title);
    setPlainText(box, text);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Ok:
        return Answer::Ok;
    default:
        return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    }
}

int QtDialogs::choose(const QString &text, const QString &title, const QStringList &buttons, Icon icon,
                      QWidget *parent)
{
    QMessageBox box(parent);
    box.setWindowTitle(title);
    setPlainText(box, text);
    box.setIcon(icon == Icon::Warning       ? QMessageBox::Warning
                : icon == Icon::Critical    ? QMessageBox::Critical
                : icon == Icon::Question    ? QMessageBox::Question
                : icon == Icon::Information ? QMessageBox::Information
                                            : QMessageBox::NoIcon);
    QList<QAbstractButton *> added;
    for (int i = 0; i < buttons.size(); ++i) {
        const bool last = i + 1 == buttons.size();
        added << box.addButton(buttons[i], last ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
    }
    if (!added.isEmpty())
        box.setDefaultButton(qobject_cast<QPushButton *>(added.back()));
    box.exec();
    return int(added.indexOf(box.clickedButton()));
}

QString QtDialogs::openFile(const FileRequest &r, QWidget *parent)
{
    return QFileDialog::getOpenFileName(parent, r.title, startPath(r), toQtFilter(r.filter));
}

QStringList QtDialogs::openFiles(const FileRequest &r, QWidget *parent)
{
    return QFileDialog::getOpenFileNames(parent, r.title, startPath(r), toQtFilter(r.filter));
}

QString QtDialogs::saveFile(const FileRequest &r, QWidget *parent)
{
    return QFileDialog::getSaveFileName(parent, r.title, startPath(r), toQtFilter(r.filter));
}

QString QtDialogs::chooseFolder(const QString &title, const QString &startFolder, QWidget *parent)
{
    return QFileDialog::getExistingDirectory(parent, title, startFolder);
}

std::optional<ColorValue> QtDialogs::chooseColor(ColorValue initial, QWidget *parent)
{
    const QColor start(int(initial & 0xFF), int((initial >> 8) & 0xFF), int((initial >> 16) & 0xFF));
    const QColor c = QColorDialog::getColor(start, parent);
    if (!c.isValid())
        return std::nullopt;
    return ColorValue(c.red()) | (ColorValue(c.green()) << 8) | (ColorValue(c.blue()) << 16);
}

std::optional<QFont> QtDialogs::chooseFont(const QFont &initial, QWidget *parent)
{
    bool ok = false;
    const QFont f = QFontDialog::getFont(&ok, initial, parent);
    if (!ok)
        return std::nullopt;
    return f;
}

std::optional<QString> QtDialogs::askText(const QString &title, const QString &label, const QString &initial,
                                          QWidget *parent)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent, title, label, QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

std::optional<QString> QtDialogs::askPassword(const QString &title, const QString &label, QWidget *parent)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent, title, label, QLineEdit::Password, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

} // namespace platform
