// Takes the README's pictures of the windows that show no web content: the upload
// dialog filled with a generated sample page, the insert-table dialog, the coloured
// source of that page, and the wizard's steps of the first-page guide.
// Usage: screenshot_dialogs <checkout> <output folder>
#include "editor/frmDialog_Table.h"
#include "editor/frmMain.h"
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
            w.lvwFAQ_Click();
        }
        ok &= save(w, out + QStringLiteral("/guide-faq.png"));
        w.findChild<QLineEdit *>(QStringLiteral("txtGeneratedPage"))
            ->setText(QStringLiteral("/home/maya/Documents/Ledgerlark.htm"));
        w.showStep(9);
        ok &= save(w, out + QStringLiteral("/guide-generate.png"));
        w.hide();
        wizard::frmWizard::destroyInstance();
    }
    app_folder.removeRecursively();
    return ok ? 0 : 1;
}
