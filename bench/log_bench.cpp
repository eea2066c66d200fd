// WriteLog of a fixed message while the writer thread runs, and one writer
// pass of 100 lines to disk.
#include <benchmark/benchmark.h>

#include "common/clock.h"
#include "monitor/log/log_writer.h"
#include "monitor/messages.h"
#include "tests/support/test_support.h"

namespace {

void BM_WriteLogFixedMessage(benchmark::State& state) {
  qv::test::TempDir dir;
  if (state.thread_index() == 0) qv::StartLogWriter(dir.Path());
  for (auto _ : state) qv::WriteLog(qv::msg::kMonitoringStart);
  // Untimed: the writer drains 200 lines a second; the rest is dropped here
  // so the queue does not grow across repetitions.
  qv::TakeQueuedLogEntries();
  if (state.thread_index() == 0) qv::StopLogWriter();
}
BENCHMARK(BM_WriteLogFixedMessage)->Iterations(200000)->Repetitions(9)->ReportAggregatesOnly(true);

void BM_WriterPassOf100Lines(benchmark::State& state) {
  qv::test::TempDir dir;
  qv::LogWriter log(qv::SystemClock());
  log.SetDirectory(dir.Path());
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < 100; ++i) log.Queue(-1, qv::msg::kPingThresholdExceeded);
    state.ResumeTiming();
    log.RunPass();
  }
}
BENCHMARK(BM_WriterPassOf100Lines)->Unit(benchmark::kMicrosecond);

}  // namespace
BENCHMARK_MAIN();
