// What the update check and the machine identifier add to start-up when no update
// server can be reached.
#include "desktop/UpdateCheck.h"
#include "desktop/basGetHDDSerial.h"
#include "platform/HttpFetch.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

static void fetch(benchmark::State &state, const QString &base)
{
    const QUrl url(desktop::VersionQueryUrl(base, QStringLiteral("bench"), QStringLiteral("1")));
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::fetchUrl(url, desktop::kUpdateFetchTimeoutMs));
}

static void BM_FetchDefaultServer(benchmark::State &state)
{
    fetch(state, desktop::updateServer());
}
BENCHMARK(BM_FetchDefaultServer)->Unit(benchmark::kMillisecond);

static void BM_FetchClosedPort(benchmark::State &state)
{
    fetch(state, QStringLiteral("http://127.0.0.1:9/"));
}
BENCHMARK(BM_FetchClosedPort)->Unit(benchmark::kMillisecond);

static void BM_GetHDDSerial(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(desktop::GetHDDSerial());
}
BENCHMARK(BM_GetHDDSerial)->Unit(benchmark::kMicrosecond);
