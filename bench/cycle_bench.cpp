// Cost of one check cycle with fake probes: the bookkeeping around the probes.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "common/clock.h"
#include "common/process_runner.h"
#include "monitor/checks/checker.h"
#include "monitor/log/log_writer.h"
#include "monitor/settings.h"
#include "monitor/wmi/wmi_connection.h"
#include "tests/support/test_support.h"

namespace {

class HealthyWmi : public qv::WmiConnection {
 public:
  bool Connect(qv::QuorvanexServerInfo) override { return true; }
  bool QueryDeviceStatus(const std::wstring&, std::wstring& status) override {
    status = L"OK";
    return true;
  }
  bool QueryAllDevices(std::vector<qv::DeviceIdAndStatus>&) override { return true; }
  bool StartProcess(const std::wstring&, const std::wstring&, std::wstring&) override { return true; }
  void Release() override {}
};

class NoRunner : public qv::ProcessRunner {
 public:
  qv::ProcessOutcome Run(const std::wstring&, std::chrono::milliseconds) override { return {}; }
};

class StillClock : public qv::Clock {
 public:
  std::int64_t Now() override { return 1700000000; }
  std::int64_t SteadyMs() override { return 0; }
  void SleepMs(std::uint32_t) override {}
};

// state.range(0): 1 = the third of three servers answers and the device is
// healthy; 0 = no server answers and the ping threshold is crossed every
// second cycle (threshold line, no mail).
void BM_RunCycle(benchmark::State& state) {
  const bool healthy = state.range(0) == 1;
  qv::test::TempDir dir;
  qv::MonitorSettings settings;
  settings.exeDirectory = dir.Path();
  settings.pingThreshold = 1;
  settings.deviceThreshold = 5;
  settings.hardwarePattern = L"USB\\\\VID_1234&PID_5678";
  for (const wchar_t* address : {L"10.0.0.1", L"10.0.0.2", L"10.0.0.3"}) {
    qv::QuorvanexServerInfo server;
    server.enabled = true;
    server.server = address;
    settings.servers.push_back(server);
  }
  NoRunner runner;
  StillClock clock;
  qv::CheckerPorts ports;
  ports.pingAddress = [healthy](const std::wstring& address) {
    return healthy && address == L"10.0.0.3";
  };
  ports.newWmiConnection = [] { return std::make_unique<HealthyWmi>(); };
  ports.processRunner = &runner;
  ports.clock = &clock;
  qv::Checker checker(settings, std::move(ports));
  std::int64_t cycles = 0;
  for (auto _ : state) {
    checker.RunCycle();
    if (++cycles % 1024 == 0) {
      state.PauseTiming();
      qv::TakeQueuedLogEntries();
      state.ResumeTiming();
    }
  }
  qv::TakeQueuedLogEntries();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RunCycle)->Arg(1)->Arg(0);

}  // namespace

BENCHMARK_MAIN();
