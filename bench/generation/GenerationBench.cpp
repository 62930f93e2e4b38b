// FillTemplate on a large template with many rows (cost must grow linearly with
// the rows), and GenerateTemplateBasedPage of a shipped template.
#include "generation/FolderLister.h"
#include "generation/modTemplates.h"
#include "platform/AppFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace generation;

namespace {

// About 1 MB: every block and placeholder once, then filler paragraphs that carry
// single placeholders, so every whole-text step has real work to do.
QString bigTemplate()
{
    QString t = QStringLiteral(
        "<html><head><title><ZOR_PAGE_DATA_SOFTWARENAME></title><meta name='keywords' "
        "content='<ZOR_PAGE_DATA_KEYWORD>'></head><body><h1><ZOR_PAGE_DATA_ONELINER></h1>"
        "<p><ZOR_PAGE_DATA_INFO></p><p><ZOR_PAGE_PROBLEM></p><p><ZOR_PAGE_DATA_SOLUTION></p>"
        "<ZOR_PAGE_DATA_TESTIMONIAL_1><blockquote><p><ZOR_PAGE_DATA_TESTIMONIAL_INFO_1></p><cite>"
        "<ZOR_PAGE_DATA_TESTIMONIAL_NAME_1>, <ZOR_PAGE_DATA_TESTIMONIAL_CONTACT_1></cite></blockquote>"
        "</ZOR_PAGE_DATA_TESTIMONIAL_1><div><ZOR_PAGE_DATA_BENEFITS></div><div><ZOR_PAGE_DATA_WHYBETTER></"
        "div>"
        "<ZOR_PAGE_DATA_IMAGE><figure><img src='<ZOR_PAGE_DATA_IMAGE_SOURCE>'><figcaption>"
        "<ZOR_PAGE_DATA_IMAGE_CAPTION></figcaption></figure></ZOR_PAGE_DATA_IMAGE>"
        "<dl><ZOR_PAGE_DATA_FAQ><dt class='question'><ZOR_PAGE_DATA_FAQ_QUESTION></dt><dd class='answer'>"
        "<ZOR_PAGE_DATA_FAQ_ANSWER></dd></ZOR_PAGE_DATA_FAQ></dl>"
        "<ul><ZOR_PAGE_DATA_FEATURES><li><b><ZOR_PAGE_DATA_FEATURES_NAME></b> "
        "<ZOR_PAGE_DATA_FEATURES_DETAILS></li></ZOR_PAGE_DATA_FEATURES></ul>"
        "<ZOR_PAGE_DATA_TESTIMONIAL_2><blockquote><p><ZOR_PAGE_DATA_TESTIMONIAL_INFO_2></p><cite>"
        "<ZOR_PAGE_DATA_TESTIMONIAL_NAME_2>, <ZOR_PAGE_DATA_TESTIMONIAL_CONTACT_2></cite></blockquote>"
        "</ZOR_PAGE_DATA_TESTIMONIAL_2><p><s><ZOR_PAGE_DATA_MRPRICE></s> <ZOR_PAGE_DATA_NEWPRICE> within "
        "<ZOR_PAGE_DATA_ORDER_END_DATE> hours: <ZOR_PAGE_DATA_ORDER_URL></p>"
        "<ZOR_PAGE_DATA_TRY><a href='<ZOR_PAGE_DATA_TRYURL>'><ZOR_PAGE_DATA_TRY_MOTIVATION></a>"
        "<ZOR_PAGE_DATA_TRY_REQUIREMENTS><ZOR_PAGE_DATA_TRY_REQUIREMENTS_DATA></"
        "ZOR_PAGE_DATA_TRY_REQUIREMENTS>"
        "<ZOR_PAGE_DATA_TRY_PROBLEMS><ZOR_PAGE_DATA_TRY_PROBLEMS_DATA></ZOR_PAGE_DATA_TRY_PROBLEMS>"
        "</ZOR_PAGE_DATA_TRY><ZOR_PAGE_DATA_NOT_CONVINCED><ZOR_PAGE_DATA_NOT_CONVINCED_DATA>"
        "</ZOR_PAGE_DATA_NOT_CONVINCED><a href='<ZOR_PAGE_DATA_SUPPORTURL>'>Support</a>"
        "<a href='<ZOR_PAGE_DATA_AFFILIATEURL>'>Affiliates</a>");
    const QString filler = QStringLiteral(
        "<p class='filler'>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor "
        "incididunt ut labore et dolore magna aliqua. <ZOR_PAGE_DATA_SOFTWARENAME> makes it simple.</p>\r\n");
    while (t.size() < 1024 * 1024)
        t += filler;
    return t + QStringLiteral("<footer><ZOR_PAGE_DATA_COPYRIGHT></footer></body></html>");
}

PageData bigData(int factor)
{
    PageData d;
    d.txtSoftwareName = QStringLiteral("Quill Tool");
    d.txtKeywords = QStringLiteral("writing, pages");
    d.txtOneLiner = QStringLiteral("Sales pages in minutes");
    d.txtExplainIn30Secs = QStringLiteral("First line\r\nSecond line");
    d.txtProblem = QStringLiteral("Pages take long\r\nto write");
    d.txtProlemSolution = QStringLiteral("A wizard\r\nand templates");
    d.txtSupportURL = QStringLiteral("help@quill.example");
    d.txtAffiliateURL = QStringLiteral("http://quill.example/aff");
    d.txtBenefits = QStringLiteral("Faster\r\nBetter");
    d.txtComparison = QStringLiteral("Simpler");
    d.txtProductImage = QStringLiteral("/nonexistent/shot.png");
    d.txtProductCaption = QStringLiteral("The main window");
    d.txtMRP = QStringLiteral("$49");
    d.txtSpecialPrice = QStringLiteral("$29");
    d.txtOrderWithinHours = QStringLiteral("48");
    d.txtPurchaseURL = QStringLiteral("http://pay.example/buy");
    d.txtDownloadURL = QStringLiteral("http://quill.example/trial.zip");
    d.txtOrderLaterIncentive = QStringLiteral("Try it first");
    d.txtCopyRightInfo = QStringLiteral("(c) 2026");
    for (int i = 0; i < 10000 * factor; ++i)
        d.lvwFAQ.append(
            {QStringLiteral("Question %1?\r\nReally?").arg(i), {QStringLiteral("Answer %1.").arg(i)}});
    for (int i = 0; i < 1000 * factor; ++i)
        d.lvwFeatures.append(
            {QStringLiteral("Feature %1").arg(i), {QStringLiteral("Does thing %1.").arg(i)}});
    for (int i = 0; i < 1000 * factor; ++i)
        d.lvwTestimonial.append(
            {QStringLiteral("Person %1").arg(i),
             {QStringLiteral("CEO, Org %1").arg(i), QStringLiteral("Great\r\ntool %1").arg(i)}});
    return d;
}

// Rows scale with the argument (1 = 10,000 FAQ, 1,000 features, 1,000 testimonials).
void BM_FillTemplate(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.htm"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bigTemplate().toLocal8Bit()) < 0) {
        state.SkipWithError("cannot write the template");
        return;
    }
    file.close();
    const PageData data = bigData(int(state.range(0)));
    qsizetype size = 0;
    for (auto _ : state) {
        const QString page = FillTemplate(path, data);
        size = page.size();
        benchmark::DoNotOptimize(page.constData());
    }
    state.counters["page_chars"] = double(size);
}
BENCHMARK(BM_FillTemplate)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);

void copyFolder(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const QString &name : ListFolderFiles(from))
        QFile::copy(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name);
}

// A shipped template with a sample-sized record, written with its list and copies.
void BM_GenerateShippedTemplate(benchmark::State &state)
{
    const QString shipped = QStringLiteral(QUILLMARK_SOURCE_DIR "/templates");
    QString name;
    for (const QString &file : ListFolderFiles(shipped)) {
        if (file.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive) && !file.contains(QLatin1Char('_'))) {
            name = file.left(file.size() - 4);
            break;
        }
    }
    if (name.isEmpty()) {
        state.SkipWithError("no shipped template found");
        return;
    }
    QTemporaryDir dir;
    copyFolder(shipped, dir.filePath(QStringLiteral("templates")));
    QDir().mkpath(dir.filePath(QStringLiteral("out")));
    // The record of written pages goes there too.
    platform::setUserDataFolder(dir.path());
    PageData data = bigData(0);
    for (int i = 0; i < 10; ++i) {
        data.lvwFAQ.append({QStringLiteral("Question %1?").arg(i), {QStringLiteral("Answer %1.").arg(i)}});
        data.lvwFeatures.append(
            {QStringLiteral("Feature %1").arg(i), {QStringLiteral("Details %1.").arg(i)}});
    }
    for (int i = 0; i < 5; ++i)
        data.lvwTestimonial.append(
            {QStringLiteral("Person %1").arg(i), {QStringLiteral("CEO"), QStringLiteral("Great")}});
    QString image;
    QString dest = dir.filePath(QStringLiteral("out/page.htm"));
    for (auto _ : state) {
        if (!GenerateTemplateBasedPage(dir.path(), name, dest, image, data))
            state.SkipWithError("generation failed");
    }
    state.SetLabel(name.toStdString());
}
BENCHMARK(BM_GenerateShippedTemplate)->Unit(benchmark::kMillisecond);

} // namespace
