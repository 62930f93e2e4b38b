// Takes the README's pictures of web content with WebEngine off screen: the wizard's
// template step with its gallery, filled with the sample product, and the named
// templates at desktop and phone width.
// Usage: screenshot_templates <checkout> <output folder> [template ...]
#include "generation/modTemplates.h"
#include "platform/AppFolder.h"
#include "platform/widgets/BrowserView.h"
#include "wizard/TemplateGallery.h"
#include "wizard/frmWizard.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QTest>
#include <QWebEngineView>
#include <cstdio>

namespace {

bool report(bool ok, const QString &path)
{
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

bool loadInto(QWebEngineView &view, const QString &page)
{
    bool loaded = false;
    QObject::connect(
        view.page(), &QWebEnginePage::loadFinished, &view, [&] { loaded = true; }, Qt::SingleShotConnection);
    view.load(QUrl::fromLocalFile(page));
    const bool ok = QTest::qWaitFor([&] { return loaded; }, 30000);
    QTest::qWait(600); // the first frames
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <checkout> <output folder> [template ...]\n", argv[0]);
        return 2;
    }
    const QString checkout = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    QStringList shown;
    for (int i = 3; i < argc; ++i)
        shown << QString::fromLocal8Bit(argv[i]);
    QDir(checkout).mkpath(out);

    // A scratch application folder, so that previews never land in the checkout.
    QDir appFolder(QDir::tempPath() + QStringLiteral("/quillmark-demo-templates"));
    appFolder.removeRecursively();
    for (const char *sub : {"templates", "sites"}) {
        appFolder.mkpath(QLatin1String(sub));
        const QDir from(checkout + QLatin1Char('/') + QLatin1String(sub));
        for (const QString &name : from.entryList(QDir::Files))
            QFile::copy(from.filePath(name),
                        appFolder.filePath(QLatin1String(sub) + QLatin1Char('/') + name));
    }
    platform::setApplicationFolder(appFolder.absolutePath());
    bool ok = true;

    // The wizard's template step with the sample product and its gallery.
    {
        wizard::frmWizard &w = wizard::frmWizard::instance();
        w.cmbExistingSoftware->setCurrentText(QStringLiteral("Ledgerlark"));
        w.xpcmdLoadLoad_Click();
        w.resize(1180, 860);
        w.show();
        w.showStep(8);
        auto *gallery = w.findChild<wizard::TemplateGallery *>(QStringLiteral("lstTemplateGallery"));
        (void)QTest::qWaitFor([&] { return gallery && !gallery->pictures().busy(); }, 120000);
        if (gallery && gallery->count() > 0) {
            gallery->setCurrentItem(gallery->findItems(QStringLiteral("Ember"), Qt::MatchExactly).value(0));
            (void)QTest::qWaitFor([&] { return !w.WebBrowser1->url().isEmpty(); }, 30000);
        }
        QTest::qWait(1500);
        const QString path = out + QStringLiteral("/wizard-gallery.png");
        ok &= report(w.grab().save(path), path);
        w.hide();
        wizard::frmWizard::destroyInstance();
    }

    // Each named template, filled with the sample product, at desktop and phone width.
    generation::PageData sample;
    {
        wizard::frmWizard &w = wizard::frmWizard::instance();
        w.cmbExistingSoftware->setCurrentText(QStringLiteral("Ledgerlark"));
        w.xpcmdLoadLoad_Click();
        sample = w.pageData();
        wizard::frmWizard::destroyInstance();
    }
    QWebEngineView view;
    for (QString name : shown) {
        QString page = appFolder.filePath(QStringLiteral("site-") + name + QStringLiteral("/index.htm"));
        QDir().mkpath(QFileInfo(page).path());
        QString image = appFolder.filePath(sample.txtProductImage);
        generation::GenerateTemplateBasedPage(appFolder.absolutePath(), name, page, image, sample);
        // The first screen at both widths, and the feature cards on a desktop, where a
        // grid shows whether it keeps its columns.
        for (const auto &[width, height, suffix] :
             {std::tuple(1280, 900, "desktop"), std::tuple(390, 844, "phone"),
              std::tuple(1280, 900, "features")}) {
            view.resize(width, height);
            view.show();
            const QString path = out + QStringLiteral("/template-%1-%2.png").arg(name, QLatin1String(suffix));
            bool shown = loadInto(view, page);
            if (shown && QLatin1String(suffix) == QLatin1String("features")) {
                view.page()->runJavaScript(QStringLiteral(
                    "window.scrollTo({behavior: 'instant', top: document.getElementById('features')"
                    ".getBoundingClientRect().top + scrollY - 100})"));
                QTest::qWait(600);
            }
            ok &= report(shown && view.grab().save(path), path);
        }
    }
    appFolder.removeRecursively();
    return ok ? 0 : 1;
}
