// Entry of the benchmarks: a Qt application object (a QApplication, offscreen,
// where the benchmark needs widgets) around Google Benchmark's own runner.
#include <QCoreApplication>
#ifdef QUILLMARK_BENCH_WIDGETS
#include <QApplication>
#endif
#include <benchmark/benchmark.h>
#include <memory>

int main(int argc, char **argv)
{
    std::unique_ptr<QCoreApplication> app;
#ifdef QUILLMARK_BENCH_WIDGETS
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    app = std::make_unique<QApplication>(argc, argv);
#else
    app = std::make_unique<QCoreApplication>(argc, argv);
#endif
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
