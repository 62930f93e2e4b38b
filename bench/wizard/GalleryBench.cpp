// The wizard's template gallery with the shipped templates and a product like the
// sample: the six pictures the first time (nothing cached), the same six again (all
// from the cache), and beside them the peer, one preview of one template loaded into
// a view as the Preview button does.
//   QT_QPA_PLATFORM=offscreen wizard_gallery_bench
#include "generation/modTemplates.h"
#include "wizard/TemplateGallery.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineView>
#include <benchmark/benchmark.h>

namespace {

// WebEngine reads these before the application object exists.
const bool kEnvironment = [] {
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return true;
}();

QString appFolder()
{
    return QStringLiteral(QUILLMARK_SOURCE_DIR);
}

QStringList templateNames()
{
    return QDir(appFolder() + QStringLiteral("/templates"))
        .entryList({QStringLiteral("*.htm")}, QDir::Files)
        .replaceInStrings(QStringLiteral(".htm"), QString());
}

generation::PageData product(int variant)
{
    generation::PageData d;
    d.txtSoftwareName = QStringLiteral("Ledgerlark");
    d.txtOneLiner = QStringLiteral("Invoices, timesheets and payments, variant %1").arg(variant);
    d.txtExplainIn30Secs = QStringLiteral("Tracked hours become invoices with one click.");
    d.txtProblem = QStringLiteral("Invoices go out late.");
    d.txtProlemSolution = QStringLiteral("A timer that builds the invoice.");
    d.txtMRP = QStringLiteral("$79");
    d.txtSpecialPrice = QStringLiteral("$49");
    d.txtOrderWithinHours = QStringLiteral("48");
    d.txtPurchaseURL = QStringLiteral("<a href=\"https://ledgerlark.example/buy\">Buy now</a>");
    for (int i = 1; i <= 6; ++i)
        d.lvwFeatures.push_back({QStringLiteral("Feature %1").arg(i), {QStringLiteral("What it does.")}});
    d.lvwFAQ.push_back({QStringLiteral("Is this a subscription?"), {QStringLiteral("No.")}});
    return d;
}

void waitFor(wizard::GalleryPictures &pictures)
{
    QEventLoop loop;
    QObject::connect(&pictures, &wizard::GalleryPictures::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    if (pictures.busy())
        loop.exec();
}

void BM_GalleryFirstTime(benchmark::State &state)
{
    const QStringList names = templateNames();
    int variant = 0;
    for (auto _ : state) {
        wizard::GalleryPictures pictures; // an empty cache every time
        pictures.update(appFolder(), names, product(++variant), QString());
        waitFor(pictures);
    }
    state.counters["pictures"] = double(names.size());
}
BENCHMARK(BM_GalleryFirstTime)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_GalleryFromCache(benchmark::State &state)
{
    const QStringList names = templateNames();
    wizard::GalleryPictures pictures;
    const generation::PageData data = product(0);
    pictures.update(appFolder(), names, data, QString());
    waitFor(pictures);
    for (auto _ : state) {
        const int rendered = pictures.update(appFolder(), names, data, QString());
        if (rendered != 0)
            state.SkipWithError("a cached picture was rendered again");
    }
}
BENCHMARK(BM_GalleryFromCache)->Unit(benchmark::kMillisecond)->UseRealTime();

// The peer: what one click on Preview costs (generate, load into a view).
void BM_PreviewOneTemplate(benchmark::State &state)
{
    QTemporaryDir dir;
    QWebEngineView view;
    view.resize(1280, 800);
    view.show();
    int variant = 0;
    for (auto _ : state) {
        QString name = QStringLiteral("Clarity");
        QString page = dir.filePath(QStringLiteral("~temp.htm"));
        QString image;
        generation::GenerateTemplateBasedPage(appFolder(), name, page, image, product(++variant));
        QEventLoop loop;
        QObject::connect(&view, &QWebEngineView::loadFinished, &loop, &QEventLoop::quit);
        view.load(QUrl::fromLocalFile(page));
        loop.exec();
    }
}
BENCHMARK(BM_PreviewOneTemplate)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace
