#include "editor/FindReplaceDialog.h"
#include "ui_FindReplaceDialog.h"

namespace editor {

FindReplaceDialog::FindReplaceDialog(QWidget *owner) : QDialog(owner), ui(new Ui::FindReplaceDialog)
{
    ui->setupUi(this);
    setModal(false);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(ui->cmdFindNext, &QPushButton::clicked, this, [this] { emit findRequested(false); });
    connect(ui->cmdFindPrevious, &QPushButton::clicked, this, [this] { emit findRequested(true); });
    connect(ui->cmdReplace, &QPushButton::clicked, this, &FindReplaceDialog::replaceRequested);
    connect(ui->cmdReplaceAll, &QPushButton::clicked, this, &FindReplaceDialog::replaceAllRequested);
    connect(ui->txtFind, &QLineEdit::textChanged, this, [this] { setStatus(QString()); });
}

FindReplaceDialog::~FindReplaceDialog() = default;

QString FindReplaceDialog::findText() const
{
    return ui->txtFind->text();
}

QString FindReplaceDialog::replaceText() const
{
    return ui->txtReplace->text();
}

FindOptions FindReplaceDialog::options() const
{
    FindOptions o;
    o.matchCase = ui->chkMatchCase->isChecked();
    o.wholeWord = ui->chkWholeWord->isEnabled() && ui->chkWholeWord->isChecked();
    o.regex = ui->chkRegex->isEnabled() && ui->chkRegex->isChecked();
    return o;
}

void FindReplaceDialog::setReplaceAvailable(bool available)
{
    for (QWidget *w : {static_cast<QWidget *>(ui->lblReplace), static_cast<QWidget *>(ui->txtReplace),
                       static_cast<QWidget *>(ui->cmdReplace), static_cast<QWidget *>(ui->cmdReplaceAll)})
        w->setEnabled(available);
}

void FindReplaceDialog::setPatternOptionsAvailable(bool available)
{
    ui->chkWholeWord->setEnabled(available);
    ui->chkRegex->setEnabled(available);
}

void FindReplaceDialog::setFindText(const QString &text)
{
    ui->txtFind->setText(text);
}

void FindReplaceDialog::setStatus(const QString &text)
{
    ui->lblStatus->setText(text);
}

void FindReplaceDialog::showForFind(bool replace)
{
    show();
    raise();
    activateWindow();
    QLineEdit *box = replace && ui->txtReplace->isEnabled() && !ui->txtFind->text().isEmpty() ? ui->txtReplace
                                                                                              : ui->txtFind;
    box->setFocus();
    box->selectAll();
}

} // namespace editor
