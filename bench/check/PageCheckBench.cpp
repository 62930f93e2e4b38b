// The page check of a 1 MB page generated from a shipped template, with its files
// beside it, against the bare HTML5 parse of the same page (the check's floor).
#include "check/PageCheck.h"
#include "generation/modTemplates.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <gumbo.h>

using namespace generation;

namespace {

// A shipped template filled with a product whose lists make the page at least 1 MB.
struct BigPage {
    QTemporaryDir dir;
    QString path;
    BigPage()
    {
        path = dir.filePath("offer.htm");
        PageData d;
        d.txtSoftwareName = QStringLiteral("Ledgerlark");
        d.txtOneLiner = QStringLiteral("Invoices, timesheets and payments for freelancers.");
        d.txtKeywords = QStringLiteral("invoicing, freelance");
        d.txtSupportURL = QStringLiteral("support@ledgerlark.test");
        d.txtExplainIn30Secs =
            QStringLiteral("Tracked hours become invoices.\r\nReminders go out by themselves.");
        d.txtProductImage = QStringLiteral(QUILLMARK_SOURCE_DIR "/sites/Ledgerlark_screenshot.png");
        d.txtProductCaption = QStringLiteral("The dashboard");
        d.txtMRP = QStringLiteral("$79");
        d.txtSpecialPrice = QStringLiteral("$49");
        d.txtOrderWithinHours = QStringLiteral("48");
        d.txtPurchaseURL = QStringLiteral("<a href=\"https://ledgerlark.test/buy\">Buy now</a>");
        d.txtDownloadURL = QStringLiteral("https://ledgerlark.test/setup.exe");
        for (int i = 0; QFileInfo(path).size() < 1024 * 1024; ++i) {
            for (int j = 0; j < 500; ++j, ++i) {
                d.lvwFAQ.append({QStringLiteral("Question %1: can it do this as well?").arg(i),
                                 {QStringLiteral("Yes. Answer %1 tells how, in a sentence or two.").arg(i)}});
                d.lvwFeatures.append({QStringLiteral("Feature %1").arg(i),
                                      {QStringLiteral("What feature %1 does for you.").arg(i)}});
            }
            QString name = QStringLiteral("Clarity"), page = path, image = d.txtProductImage;
            GenerateTemplateBasedPage(QStringLiteral(QUILLMARK_SOURCE_DIR), name, page, image, d);
        }
    }
};

BigPage &bigPage()
{
    static BigPage page;
    return page;
}

void BM_CheckPage(benchmark::State &state)
{
    const QString path = bigPage().path;
    int findings = 0;
    for (auto _ : state)
        findings = check::CheckPage(path).findings.size();
    state.counters["page_KB"] = double(QFileInfo(path).size()) / 1024;
    state.counters["findings"] = findings;
}
BENCHMARK(BM_CheckPage)->Unit(benchmark::kMillisecond);

// The peer: reading the page and parsing it, nothing else.
void BM_ReadAndParseOnly(benchmark::State &state)
{
    const QString path = bigPage().path;
    for (auto _ : state) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        const QByteArray bytes = file.readAll();
        GumboOutput *output =
            gumbo_parse_with_options(&kGumboDefaultOptions, bytes.constData(), bytes.size());
        benchmark::DoNotOptimize(output->root);
        gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
}
BENCHMARK(BM_ReadAndParseOnly)->Unit(benchmark::kMillisecond);

} // namespace
