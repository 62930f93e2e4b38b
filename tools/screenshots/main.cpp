// Takes the README's pictures of the windows that show no web content: the upload
// dialog filled with a generated sample page, the insert-table dialog, the coloured
// source of that page, and the wizard's steps of the first-page guide.
// Usage: screenshot_dialogs <checkout> <output folder>
#include "check/PageCheck.h"
#include "editor/CheckPanel.h"
#include "editor/frmDialog_Table.h"
#include "editor/frmMain.h"
#include "editor/logic/TextPosition.h"
#include "editor/modMain.h"
#include "generation/modTemplates.h"
#include "platform/AppFolder.h"
#include "platform/widgets/SourceView.h"
#include "publish/FrmUploadInfo.h"
#include "wizard/WizardPeer.h"
#include "wizard/frmWizard.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstdio>

namespace {

bool save(QWidget &w, const QString &path)
{
    w.show();
    QApplication::processEvents();
    const bool ok = w.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); // the wizard holds a web view
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <checkout> <output folder>\n", argv[0]);
        return 2;
    }
    const QString checkout = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);

    // A scratch application folder with a readable name (it shows in the pictures),
    // so no real ftpinfo.ini is read or written.
    QDir app_folder(QDir::tempPath() + QStringLiteral("/quillmark-demo"));
    app_folder.removeRecursively();
    app_folder.mkpath(QStringLiteral("."));
    QDir(checkout).mkpath(out);
    for (const char *sub : {"templates", "sites"}) {
        QDir().mkpath(app_folder.filePath(sub));
        const QDir from(checkout + QLatin1Char('/') + QLatin1String(sub));
        for (const QString &name : from.entryList(QDir::Files))
            QFile::copy(from.filePath(name),
                        app_folder.filePath(QLatin1String(sub) + QLatin1Char('/') + name));
    }
    platform::setApplicationFolder(app_folder.absolutePath());

    generation::PageData data;
    data.txtSoftwareName = QStringLiteral("Ledgerlark");
    data.txtOneLiner = QStringLiteral("Invoices and ledgers for the one-person shop");
    data.txtKeywords = QStringLiteral("invoicing, ledger, small business");
    data.txtExplainIn30Secs = QStringLiteral("Ledgerlark keeps your invoices and your books in one place.");
    data.txtMRP = QStringLiteral("$79");
    data.txtSpecialPrice = QStringLiteral("$49");
    data.txtOrderWithinHours = QStringLiteral("48");
    QString templateName = QStringLiteral("Clarity");
    QString page = app_folder.filePath(QStringLiteral("site/index.htm"));
    QString image = QStringLiteral("sites/Ledgerlark_screenshot.png");
    QDir().mkpath(app_folder.filePath(QStringLiteral("site")));
    generation::GenerateTemplateBasedPage(app_folder.absolutePath(), templateName, page, image, data);

    bool ok = true;
    {
        publish::FrmUploadInfo upload;
        upload.findChild<QLineEdit *>(QStringLiteral("txtServerName"))
            ->setText(QStringLiteral("ftp.ledgerlark.example"));
        upload.findChild<QLineEdit *>(QStringLiteral("txtServerPort"))->setText(QStringLiteral("21"));
        upload.findChild<QLineEdit *>(QStringLiteral("txtUserId"))->setText(QStringLiteral("maya"));
        upload.findChild<QLineEdit *>(QStringLiteral("txtPassword"))->setText(QStringLiteral("secret"));
        upload.findChild<QLineEdit *>(QStringLiteral("txtRemoteDir"))
            ->setText(QStringLiteral("/public_html"));
        upload.AddFilesToList(page + QStringLiteral(".files"));
        upload.resize(760, 560);
        ok &= save(upload, out + QStringLiteral("/upload-dialog.png"));
    }
    {
        QWidget owner;
        editor::frmDialog_Table *table = editor::frmDialog_Table::showDialog(&owner);
        ok &= table && save(*table, out + QStringLiteral("/insert-table-dialog.png"));
    }
    {
        platform::SourceView source;
        source.resize(900, 560);
        ok &= source.LoadFile(page);
        editor::modMain::ColorizeSource(source);
        ok &= save(source, out + QStringLiteral("/source-view.png"));
    }
    {
        // The wizard with the sample product: the load panel, a question being
        // corrected in place, and the last step.
        editor::frmMain main;
        main.setWizardPeer(&wizard::peer());
        wizard::frmWizard &w = wizard::frmWizard::instance();
        w.resize(1000, 700);
        w.show();
        w.xpcmdLoadInfo_Click();
        w.findChild<QComboBox *>(QStringLiteral("cmbExistingSoftware"))
            ->setCurrentText(QStringLiteral("Ledgerlark"));
        ok &= save(w, out + QStringLiteral("/guide-load.png"));
        w.xpcmdLoadLoad_Click();
        w.showStep(3);
        auto *faq = w.findChild<QTreeWidget *>(QStringLiteral("lvwFAQ"));
        if (faq->topLevelItemCount() > 1) {
            faq->setCurrentItem(faq->topLevelItem(1));
            emit faq->itemClicked(faq->topLevelItem(1), 0);
        }
        ok &= save(w, out + QStringLiteral("/guide-faq.png"));
        w.findChild<QLineEdit *>(QStringLiteral("txtGeneratedPage"))
            ->setText(QStringLiteral("/home/maya/Documents/Ledgerlark.htm"));
        w.showStep(9);
        ok &= save(w, out + QStringLiteral("/guide-generate.png"));
        w.hide();
        wizard::frmWizard::destroyInstance();
    }
    {
        // The page check under the source of the same page, given a few faults to find.
        QString text = generation::ReadTextFile(page);
        text.replace(QStringLiteral("Clarity_badge.svg"), QStringLiteral("Clarity_seal.svg"));
        text.replace(QStringLiteral("href=\"#faq\""), QStringLiteral("href=\"#questions\""));
        text.replace(QStringLiteral("<h2>What you gain</h2>"),
                     QStringLiteral("<h2>What <ZOR_PAGE_DATA_USERNAME> gains</h2>"));
        generation::WriteTextFile(text, page);
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *source = new platform::SourceView;
        layout->addWidget(source, 3);
        auto *panel = new editor::CheckPanel;
        layout->addWidget(panel, 1);
        ok &= source->LoadFile(page);
        editor::modMain::ColorizeSource(*source);
        const check::Report report = check::CheckPage(page);
        panel->showReport(report);
        // As a double-click on the first finding leaves it.
        if (!report.findings.isEmpty()) {
            const QString lines = source->Text();
            const int at = editor::TextPosition(lines, report.findings[0].line, report.findings[0].column);
            source->setSelStart(at);
            source->setSelLength(editor::TokenLength(lines, at));
        }
        window.resize(900, 640);
        ok &= save(window, out + QStringLiteral("/check-panel.png"));
    }
    app_folder.removeRecursively();
    return ok ? 0 : 1;
}
