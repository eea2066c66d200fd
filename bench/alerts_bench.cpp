// The cost of an alert: splitting a command line, starting and reaping a
// program, and one whole mail alert with the fake mailer.
#include <benchmark/benchmark.h>

#include <string>

#include "common/command_line.h"
#include "common/process_runner.h"
#include "monitor/checks/checker.h"
#include "monitor/settings.h"
#include "tests/support/process_probe.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;

void BM_SplitMsgCommandLine(benchmark::State& state) {
  const std::wstring line = L"msg.exe * /TIME:2147483647 \"[2026/12/06 14:22:40]" + std::wstring(1000, L'x') + L"\"";
  for (auto _ : state) benchmark::DoNotOptimize(qv::SplitCommandLine(line));
}
BENCHMARK(BM_SplitMsgCommandLine);

void BM_RunAndReapTrue(benchmark::State& state) {
  for (auto _ : state) {
    if (qv::SystemProcessRunner().Run(L"/bin/true", 10s).exitCode != 0) state.SkipWithError("/bin/true failed");
  }
}
BENCHMARK(BM_RunAndReapTrue)->Unit(benchmark::kMillisecond);

void BM_SendAlertMailWithFakeMailer(benchmark::State& state) {
  qv::test::TempDir dir;
  qv::test::InstallFakeMailer(dir.Path(), L"Ostrival.exe");
  qv::test::WriteBytes(dir.File(L"mail.ini"), "[Config]\r\nServer=smtp.test\r\nBody_device=<name> lost\r\n");
  qv::MonitorSettings settings;
  settings.exeDirectory = dir.Path();
  settings.hardwarePattern = L"USB\\\\VID_1234";
  qv::CheckerPorts ports;
  ports.processRunner = &qv::SystemProcessRunner();
  qv::Checker checker(settings, std::move(ports));
  for (auto _ : state) {
    if (!checker.SendAlertMail(qv::CheckKind::Device)) state.SkipWithError("mail failed");
  }
}
BENCHMARK(BM_SendAlertMailWithFakeMailer)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
