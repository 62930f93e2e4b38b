// Takes the README's pictures of the editor's own features: the start panel, find
// and replace in the source view, the preview at phone width and the spelling
// suggestions. Run under a real X server (xvfb-run) so that WebEngine draws.
// Usage: screenshot_editor <checkout> <output folder>
#include "desktop/UpdateCheck.h"
#include "editor/frmMain.h"
#include "generation/modTemplates.h"
#include "platform/AppFolder.h"
#include "platform/widgets/DesignView.h"
#include "platform/widgets/QtDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QTest>
#include <cstdio>

namespace {

bool save(const QPixmap &picture, const QString &path)
{
    const bool ok = picture.save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

// The window with `over` (a dialog or menu) painted where it stands on the screen.
QPixmap withOverlay(QWidget &window, QWidget *over)
{
    QPixmap picture = window.grab();
    if (over) {
        QPainter painter(&picture);
        painter.drawPixmap(window.mapFromGlobal(over->mapToGlobal(QPoint(0, 0))), over->grab());
    }
    return picture;
}

void settle(int ms)
{
    QTest::qWait(ms);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <checkout> <output folder>\n", argv[0]);
        return 2;
    }
    const QString checkout = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    platform::QtDialogs dialogs;
    platform::setDialogs(&dialogs);

    QDir folder(QDir::tempPath() + QStringLiteral("/quillmark-demo-editor"));
    folder.removeRecursively();
    folder.mkpath(QStringLiteral("templates"));
    folder.mkpath(QStringLiteral("sites"));
    folder.mkpath(QStringLiteral("site"));
    for (const char *sub : {"templates", "sites"}) {
        const QDir from(checkout + QLatin1Char('/') + QLatin1String(sub));
        for (const QString &name : from.entryList(QDir::Files))
            QFile::copy(from.filePath(name), folder.filePath(QLatin1String(sub) + QLatin1Char('/') + name));
    }
    platform::setApplicationFolder(folder.absolutePath());
    desktop::setUpdateServer(QStringLiteral("http://127.0.0.1:9/"));

    generation::PageData data;
    data.txtSoftwareName = QStringLiteral("Ledgerlark");
    data.txtOneLiner = QStringLiteral("Invoices and ledgers for the one-person shop");
    data.txtExplainIn30Secs = QStringLiteral("Ledgerlark keeps your invoices and your books in one place.");
    data.txtMRP = QStringLiteral("$79");
    data.txtSpecialPrice = QStringLiteral("$49");
    QString templateName = QStringLiteral("Clarity");
    QString page = folder.filePath(QStringLiteral("site/index.htm"));
    QString image = QStringLiteral("sites/Ledgerlark_screenshot.png");
    generation::GenerateTemplateBasedPage(folder.absolutePath(), templateName, page, image, data);

    bool ok = true;
    editor::frmMain window;
    window.Form_Load();
    window.showNormal();
    window.resize(1100, 720);
    settle(1500);
    ok &= save(window.grab(), out + QStringLiteral("/start-panel.png"));

    window.openPage(page);
    window.switchTab(1);
    window.findChild<QAction *>(QStringLiteral("replace"))->trigger();
    QWidget *find = QApplication::activeWindow();
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("FindReplaceDialog"))
            find = w;
    find->findChild<QLineEdit *>(QStringLiteral("txtFind"))->setText(QStringLiteral("Ledgerlark"));
    find->findChild<QLineEdit *>(QStringLiteral("txtReplace"))->setText(QStringLiteral("LedgerLark"));
    find->findChild<QCheckBox *>(QStringLiteral("chkWholeWord"))->setChecked(true);
    find->move(window.mapToGlobal(QPoint(window.width() - find->width() - 30, 170)));
    window.findNext(false);
    settle(500);
    ok &= save(withOverlay(window, find), out + QStringLiteral("/find-replace.png"));
    find->hide();

    window.switchTab(2);
    window.findChild<QComboBox *>(QStringLiteral("cmbPreviewWidth"))
        ->setCurrentText(QStringLiteral("Phone (390 px)"));
    settle(2500);
    ok &= save(window.grab(), out + QStringLiteral("/phone-preview.png"));

    window.switchTab(0);
    auto *design = window.findChild<platform::DesignView *>(QStringLiteral("DHTMLEdit1"));
    design->setDocumentHTML(
        QStringLiteral("<html><body style='font: 16px sans-serif; margin: 30px'><h2>Ledgerlark</h2>"
                       "<p id=t>Order today and recieve a free template pack.</p></body></html>"));
    window.activateWindow();
    design->setFocus();
    design->runScript(QStringLiteral("var t = document.getElementById('t').firstChild;"
                                     " getSelection().collapse(t, t.length); true"));
    QTest::keyClick(design->focusProxy(), Qt::Key_Space);
    settle(1500);
    const QVariantList box =
        design
            ->runScript(QStringLiteral(
                "var t = document.getElementById('t').firstChild; var r = document.createRange();"
                " var i = t.data.indexOf('recieve'); r.setStart(t, i); r.setEnd(t, i + 7);"
                " var b = r.getBoundingClientRect(); [b.left, b.top, b.width, b.height]"))
            .toList();
    QMenu *menu = nullptr;
    QObject::connect(design, &platform::DesignView::contextMenuShown, [&](QMenu *m) { menu = m; });
    if (box.size() == 4) {
        const QPoint at(box[0].toInt() + box[2].toInt() / 2, box[1].toInt() + box[3].toInt() / 2);
        QTest::mouseClick(design->focusProxy(), Qt::RightButton, {}, at);
        settle(800);
    }
    ok &= menu && save(withOverlay(window, menu), out + QStringLiteral("/spell-check.png"));
    if (menu)
        menu->close();
    folder.removeRecursively();
    return ok ? 0 : 1;
}
