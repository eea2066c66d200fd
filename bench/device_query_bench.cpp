// Cost of the device check on Linux: the LIKE match alone, and a whole
// connect/query/release round over this machine's /sys as one cycle makes it.
#include <benchmark/benchmark.h>

#include "common/system.h"
#include "monitor/wmi/wmi_connection.h"
#include "monitor/wmi/wql.h"

namespace {

void BM_WqlLikePrefix(benchmark::State& state) {
  const std::wstring id = L"PCI\\VEN_8086&DEV_15BC&SUBSYS_86721043&REV_10\\0000:00:1F.6";
  for (auto _ : state) benchmark::DoNotOptimize(qv::WqlLike(id, L"pci\\ven_8086&dev_15b_&%"));
}
BENCHMARK(BM_WqlLikePrefix);

void BM_DeviceCheckRound(benchmark::State& state) {
  qv::QuorvanexServerInfo info;
  info.server = qv::ComputerName();
  // A prefix that matches nothing walks the whole device table.
  const std::wstring prefix = state.range(0) ? L"QV\\\\NO\\\\SUCH\\\\DEVICE" : L"";
  for (auto _ : state) {
    auto wmi = qv::CreateWmiConnection();
    std::wstring status;
    if (wmi->Connect(info)) benchmark::DoNotOptimize(wmi->QueryDeviceStatus(prefix, status));
    wmi->Release();
  }
}
BENCHMARK(BM_DeviceCheckRound)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
