#include "wizard/frmLoadFile.h"
#include "ui_frmLoadFile.h"

#include "editor/frmMain.h"
#include "platform/Dialogs.h"
#include "platform/widgets/DesignView.h"
#include "platform/widgets/SourceView.h"
#include "wizard/frmWizard.h"

#include <QEventLoop>
#include <QGroupBox>
#include <QHideEvent>
#include <QPointer>
#include <QTabWidget>

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
    // The design tab comes to the front first: the editor's tab switch names the
    // preview file as the path and reloads the views, which must not undo the reset.
    main->CurrentFile.clear();
    main->SSTabEditor->setCurrentIndex(0);
    main->CurrentFile.clear();
    main->DHTMLEdit1->setDocumentHTML(kBlankDocument);
    main->rtbHTMLSource->setText(QString());

    if (htmlFile) {
        platform::FileRequest request;
        request.title = QStringLiteral("Open");
        request.filter = QStringLiteral("Web Page (*.htm)|*.htm|All Files (*.*)|*.*");
        const QString chosen = platform::dialogs().openFile(request, main);
        if (chosen.isEmpty())
            return;
        main->CurrentFile = chosen;
        main->setWindowTitle(platform::kAppTitle + QStringLiteral(" : ") + chosen);
        if (!main->DHTMLEdit1->LoadDocument(chosen))
            platform::msgBox(QStringLiteral("Unable to open ") + chosen, main);
        return;
    }

    frmWizard &wizard = frmWizard::instance();
    wizard.ClearAll();
    wizard.FrameLoadSoftware->setVisible(true);
    wizard.bringToFront(0);
    wizard.showWindow(true);
}

} // namespace wizard
