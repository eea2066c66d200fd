// The metrics file's cost per cycle: rendering the state the cycle left, and
// rendering plus replacing quorvanex.prom on disk, as the Monitor does after
// every cycle. rss_growth_kib: resident memory gained over all iterations.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "monitor/metrics/metrics_collector.h"
#include "monitor/metrics/metrics_file.h"
#include "monitor/settings.h"
#include "tests/support/test_support.h"

namespace {

constexpr int kServers = 10;

long ResidentKib() {
  long pages = 0;
  long resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * 4;
}

// One cycle as the Checker reports it: both checks failing, every server
// tried and silent, a crossing with a failed mail on each check.
void ReportCycle(qv::MetricsCollector& metrics, std::int64_t now) {
  metrics.CycleStarted(now);
  metrics.WmiConnected(true);
  metrics.CheckCounted(qv::CheckKind::Device, false);
  for (int i = 0; i < kServers; ++i) metrics.PingAnswered(L"192.0.2." + std::to_wstring(i + 1), false);
  metrics.CheckCounted(qv::CheckKind::Ping, false);
  for (qv::CheckKind kind : {qv::CheckKind::Device, qv::CheckKind::Ping}) {
    metrics.ThresholdCrossed(kind);
    metrics.MailTried(kind, false);
  }
  metrics.CycleEnded(6, 6);
}

void Run(benchmark::State& state, qv::MetricsCollector::Sink sink) {
  qv::MonitorSettings settings;
  qv::MetricsCollector metrics(settings, {L"PC-0001", "2.0.0", 1700000000}, std::move(sink));
  std::int64_t now = 1700000000;
  ReportCycle(metrics, now);  // first allocations outside the measurement
  const long before = ResidentKib();
  for (auto _ : state) ReportCycle(metrics, ++now);
  state.counters["rss_growth_kib"] = static_cast<double>(ResidentKib() - before);
}

void BM_RenderPerCycle(benchmark::State& state) {
  Run(state, [](std::string_view text) { benchmark::DoNotOptimize(text.data()); });
}
BENCHMARK(BM_RenderPerCycle)->Unit(benchmark::kMicrosecond);

void BM_WriteFilePerCycle(benchmark::State& state) {
  qv::test::TempDir dir;
  qv::MetricsFile file(dir.Path(), dir.Path());
  Run(state, [&file](std::string_view text) {
    if (!file.Write(text)) std::abort();
  });
}
BENCHMARK(BM_WriteFilePerCycle)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

// Long enough to show growth, if there were any.
BENCHMARK(BM_WriteFilePerCycle)->Name("BM_WriteFilePerCycle/100k")->Iterations(100000)->Unit(benchmark::kMicrosecond);

}  // namespace
BENCHMARK_MAIN();
