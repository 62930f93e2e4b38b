#include "wizard/frmLoadFile.h"
#include "ui_frmLoadFile.h"

#include "editor/frmMain.h"
#include "platform/Dialogs.h"
#include "wizard/frmWizard.h"

#include <QEventLoop>
#include <QGroupBox>
#include <QHideEvent>
#include <QPointer>

namespace wizard {

frmLoadFile::frmLoadFile(QWidget *parent) : QDialog(parent), ui(new Ui::frmLoadFile)
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    if (editor::frmMain *main = editor::frmMain::instance())
        setWindowIcon(main->windowIcon());
    connect(ui->xpcmdOpen, &QPushButton::clicked, this, &frmLoadFile::xpcmdOpen_Click);
    connect(ui->xpcmdCancel, &QPushButton::clicked, this, &frmLoadFile::xpcmdCancel_Click);
}

frmLoadFile::~frmLoadFile()
{
    delete ui;
}

void frmLoadFile::showModal(QWidget *parent)
{
    QPointer<frmLoadFile> dialog = new frmLoadFile(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    connect(dialog, &frmLoadFile::unloaded, &loop, &QEventLoop::quit);
    dialog->show();
    loop.exec(QEventLoop::DialogExec);
    // The close box or Escape hides without a button: unload all the same.
    if (dialog)
        dialog->deleteLater();
}

void frmLoadFile::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        emit unloaded();
}

void frmLoadFile::unload()
{
    hide();
    deleteLater();
}

void frmLoadFile::xpcmdCancel_Click()
{
    unload();
}

void frmLoadFile::xpcmdOpen_Click()
{
    const bool htmlFile = ui->optHTMLFile->isChecked();
    unload();

    editor::frmMain *main = editor::frmMain::instance();
    if (!main)
        return;
    main->blankDocument();

    if (htmlFile) {
        platform::FileRequest request;
        request.title = QStringLiteral("Open");
        request.filter = QStringLiteral("Web Page (*.htm)|*.htm|All Files (*.*)|*.*");
        const QString chosen = platform::dialogs().openFile(request, main);
        if (!chosen.isEmpty())
            main->openPage(chosen);
        return;
    }

    frmWizard &wizard = frmWizard::instance();
    wizard.showLoadPanel();
    wizard.showWindow(true);
}

} // namespace wizard
