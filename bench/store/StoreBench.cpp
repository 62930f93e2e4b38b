// Saving and loading a wizard-shaped form: rows in each of the three lists.
#include "store/FormIniWalk.h"
#include "store/QtForm.h"
#include "store/modReadWriteIni.h"

#include "WizardForm.h"

#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <benchmark/benchmark.h>

namespace {

struct AppFolder {
    QTemporaryDir dir;
    AppFolder() { QDir(dir.path()).mkdir("sites"); }
};

void BM_SaveAndLoad(benchmark::State &state)
{
    AppFolder app;
    store::MemoryForm wizard;
    store_testing::buildWizardForm(wizard, int(state.range(0)));
    for (auto _ : state) {
        store::MemoryForm loaded;
        store_testing::buildWizardForm(loaded, 0);
        store::SaveFormToIni("Bench.ini", wizard, app.dir.path());
        benchmark::DoNotOptimize(store::LoadFormFromIni("Bench.ini", loaded, app.dir.path()));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SaveAndLoad)
    ->Arg(250)
    ->Arg(500)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_Save(benchmark::State &state)
{
    AppFolder app;
    store::MemoryForm wizard;
    store_testing::buildWizardForm(wizard, int(state.range(0)));
    for (auto _ : state)
        store::SaveFormToIni("Bench.ini", wizard, app.dir.path());
}
BENCHMARK(BM_Save)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_Load(benchmark::State &state)
{
    AppFolder app;
    store::MemoryForm wizard;
    store_testing::buildWizardForm(wizard, int(state.range(0)));
    store::SaveFormToIni("Bench.ini", wizard, app.dir.path());
    store::MemoryForm loaded;
    store_testing::buildWizardForm(loaded, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(store::LoadFormFromIni("Bench.ini", loaded, app.dir.path()));
}
BENCHMARK(BM_Load)->Arg(1000)->Unit(benchmark::kMillisecond);

// One call per key, each reading and rewriting the whole file, for comparison.
void BM_SaveKeyByKey(benchmark::State &state)
{
    AppFolder app;
    store::MemoryForm wizard;
    store_testing::buildWizardForm(wizard, int(state.range(0)));
    for (auto _ : state)
        store::SaveFormToIniKeyByKey("Bench.ini", wizard, app.dir.path());
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SaveKeyByKey)->Arg(25)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);

// The same through a window of real widgets, as the wizard does it.
void BM_SaveAndLoadWindow(benchmark::State &state)
{
    AppFolder app;
    store::MemoryForm data;
    store_testing::buildWizardForm(data, int(state.range(0)));
    QWidget window;
    for (const store::Control &control : data.controls()) {
        if (control.textBox) {
            auto *edit = new QPlainTextEdit(control.textBox->text(), &window);
            edit->setObjectName(control.name);
        } else if (store::ListView *list = control.listView) {
            auto *tree = new QTreeWidget(&window);
            tree->setObjectName(control.name);
            QStringList headers;
            for (int c = 0; c < list->columnCount(); ++c)
                headers << list->headerText(c);
            tree->setHeaderLabels(headers);
        }
    }
    store::SaveFormToIni("Bench.ini", data, app.dir.path());
    store::loadWindowFromIni(&window, "Bench.ini", app.dir.path());
    for (auto _ : state) {
        store::saveWindowToIni(&window, "Bench.ini", app.dir.path());
        benchmark::DoNotOptimize(store::loadWindowFromIni(&window, "Bench.ini", app.dir.path()));
    }
}
BENCHMARK(BM_SaveAndLoadWindow)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace
