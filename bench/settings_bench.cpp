// LoadSettings over a quorvanex.ini of 1,000 server sections.
#include <benchmark/benchmark.h>

#include <string>

#include "monitor/settings.h"
#include "tests/support/test_support.h"

namespace {

// quorvanex.ini with 1,000 server sections and the given Count.
void LoadServers(benchmark::State& state, const std::string& count) {
  qv::test::TempDir dir;
  std::string ini = "[Config]\r\nHardware=USB\\VID_1234&PID_5678\r\nCount=" + count + "\r\n";
  for (int n = 1; n <= 1000; ++n) {
    ini += "[Quorvanex_" + std::to_string(n) + "]\r\nEnabled=1\r\nServer=127.0.0." +
           std::to_string(n % 250 + 1) + "\r\nUsername=user\r\nPassword=secret\r\nPort=4003\r\n" +
           "Display=server " + std::to_string(n) + "\r\nHardware=USB\\VID_1234\r\nProductID=P\r\nVendorID=V\r\n";
  }
  qv::test::WriteBytes(dir.File(L"quorvanex.ini"), ini);
  qv::test::WriteBytes(dir.File(L"config.ini"), "[Config]\r\nInterval=5\r\n[Threshold]\r\nPing=5\r\nDeviceManager=5\r\n");
  for (auto _ : state) {
    qv::MonitorSettings settings;
    qv::LoadSettings(settings, dir.Path());
    benchmark::DoNotOptimize(settings.servers.data());
    if (settings.servers.size() != 1000) state.SkipWithError("wrong server count");
  }
}
void BM_LoadSettings1000Servers(benchmark::State& state) { LoadServers(state, "1000"); }
BENCHMARK(BM_LoadSettings1000Servers)->Unit(benchmark::kMillisecond);

// The same file with the largest Count: the time must stay that of the file.
void BM_LoadSettings1000ServersHugeCount(benchmark::State& state) { LoadServers(state, "2147483647"); }
BENCHMARK(BM_LoadSettings1000ServersHugeCount)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
