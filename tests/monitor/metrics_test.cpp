#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/files.h"
#include "common/system.h"
#include "common/text_util.h"
#include "monitor/checks/checker.h"
#include "monitor/log/log_writer.h"
#include "monitor/messages.h"
#include "monitor/metrics/metrics_collector.h"
#include "monitor/metrics/metrics_file.h"
#include "monitor/metrics/prometheus_text.h"
#include "monitor/service/monitoring.h"
#include "monitor/settings.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_process_runner.h"
#include "tests/support/fake_wmi.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

constexpr std::int64_t kT0 = 1700000000;

// The value on the line of `series` (name and labels as written), or "absent".
std::string ValueOf(const std::string& text, const std::string& series) {
  const std::string start = series + " ";
  std::size_t at = text.rfind("\n" + start);
  if (at != std::string::npos) {
    ++at;
  } else if (text.compare(0, start.size(), start) == 0) {
    at = 0;
  } else {
    return "absent";
  }
  const std::size_t end = text.find('\n', at);
  return text.substr(at + start.size(), end - at - start.size());
}

TEST(PrometheusText, EscapesBackslashQuoteAndLineFeedAndNothingElse) {
  std::string out;
  AppendEscapedLabelValue(out, "a\\b\"c\nd\te\rf \xE3\x83\x86{}=,");
  EXPECT_EQ(out, "a\\\\b\\\"c\\nd\te\rf \xE3\x83\x86{}=,");
}

TEST(PrometheusText, WritesWholeNumbersPlainAndFractionsShortest) {
  const std::pair<double, const char*> cases[] = {
      {0, "0"},         {1, "1"},       {-3, "-3"},         {1700000000, "1700000000"},
      {0.125, "0.125"}, {0.1, "0.1"},   {4294967295.0, "4294967295"}, {9007199254740992.0, "9007199254740992"}};
  for (const auto& [value, text] : cases) {
    std::string out;
    AppendSampleValue(out, value);
    EXPECT_EQ(out, text);
  }
}

TEST(PrometheusText, SortsFamiliesAndSamplesAndLeavesEmptyFamiliesOut) {
  std::vector<MetricFamily> families;
  families.push_back({"x_b", MetricType::Counter, "B things.", {"k", "r"},
                      {{{"z", "1"}, 2}, {{"a", "2\""}, 1}, {{"a", "1"}, 0.5}}});
  families.push_back({"x_c", MetricType::Gauge, "Nothing yet.", {"k"}, {}});
  families.push_back({"x_a", MetricType::Gauge, "A.", {}, {{{}, 7}}});
  std::string out = "old";
  RenderFamilies(families, out);
  EXPECT_EQ(out,
            "# HELP x_a A.\n# TYPE x_a gauge\nx_a 7\n"
            "# HELP x_b B things.\n# TYPE x_b counter\n"
            "x_b{k=\"a\",r=\"1\"} 0.5\nx_b{k=\"a\",r=\"2\\\"\"} 1\nx_b{k=\"z\",r=\"1\"} 2\n");
}

// A Checker over scripted ports reporting to a collector that writes the
// metrics file, as the Monitor does, into a directory of its own.
class MetricsSequence : public ::testing::Test {
 protected:
  void SetUp() override {
    TakeQueuedLogEntries();
    settings.exeDirectory = dir.Path();
    settings.deviceThreshold = 1;
    settings.pingThreshold = 1;
    settings.mailSendLimit = 1;
    settings.screenAlertEnabled = true;
    QuorvanexServerInfo server;
    for (const auto& [address, enabled] : {std::pair{kFirst, true}, {kSecond, true}, {kOff, false}}) {
      server.server = address;
      server.enabled = enabled;
      settings.servers.push_back(server);
    }
    // Same bytes on both platforms: a fixed identity and a steady clock
    // that moves 125 ms between readings.
    MetricsIdentity identity{L"PC-\"01\"\\\u30c6", "2.0.0", kT0 - 30};
    collector = std::make_unique<MetricsCollector>(
        settings, identity, [this](std::string_view text) { file.Write(text); },
        [this] { return steady += std::chrono::milliseconds(125); });
    CheckerPorts ports;
    ports.pingAddress = [this](const std::wstring& address) { return answering.count(address) != 0; };
    ports.newWmiConnection = wmi.Connections();
    ports.processRunner = &mailer;
    ports.clock = &clock;
    ports.observer = collector.get();
    checker = std::make_unique<Checker>(settings, std::move(ports));
  }
  void TearDown() override { TakeQueuedLogEntries(); }

  // Runs one cycle a minute after the last; returns the file it left.
  std::string Cycle() {
    clock.now += 60;
    checker->RunCycle();
    return test::ReadBytes(file.Path());
  }

  static constexpr const wchar_t* kFirst = L"192.0.2.1";
  static constexpr const wchar_t* kSecond = L"srv \"b\"\\\u30c6\u30b9\u30c8";
  static constexpr const wchar_t* kOff = L"192.0.2.3";

  test::TempDir dir;
  MonitorSettings settings;
  test::FakeWmi wmi;
  std::set<std::wstring> answering;  // servers that answer this cycle
  test::FakeProcessRunner mailer;
  test::FakeClock clock{kT0};
  std::chrono::nanoseconds steady{0};
  MetricsFile file{dir.Path(), dir.Path()};
  std::unique_ptr<MetricsCollector> collector;
  std::unique_ptr<Checker> checker;
};

// The whole file after the sequence below, byte for byte; the Windows build
// must write the same.
const char kFileAfterSequence[] = R"(# HELP quorvanex_check_consecutive_errors The check's error counter as the last cycle left it.
# TYPE quorvanex_check_consecutive_errors gauge
quorvanex_check_consecutive_errors{check="device"} 1
quorvanex_check_consecutive_errors{check="ping"} 0
# HELP quorvanex_check_enabled 1 when the check's threshold is not 0.
# TYPE quorvanex_check_enabled gauge
quorvanex_check_enabled{check="device"} 1
quorvanex_check_enabled{check="ping"} 1
# HELP quorvanex_check_failures_total Failed checks.
# TYPE quorvanex_check_failures_total counter
quorvanex_check_failures_total{check="device"} 3
quorvanex_check_failures_total{check="ping"} 4
# HELP quorvanex_check_healthy 1 when the check's last counted result was healthy, 0 when it failed.
# TYPE quorvanex_check_healthy gauge
quorvanex_check_healthy{check="device"} 0
quorvanex_check_healthy{check="ping"} 0
# HELP quorvanex_check_threshold Failures the check counts before it alerts at the next.
# TYPE quorvanex_check_threshold gauge
quorvanex_check_threshold{check="device"} 1
quorvanex_check_threshold{check="ping"} 1
# HELP quorvanex_cycles_total Check cycles run.
# TYPE quorvanex_cycles_total counter
quorvanex_cycles_total 5
# HELP quorvanex_device_wmi_connected 1 when the last WMI connection of the device check was made.
# TYPE quorvanex_device_wmi_connected gauge
quorvanex_device_wmi_connected 1
# HELP quorvanex_info The Monitor's computer and version.
# TYPE quorvanex_info gauge
quorvanex_info{computer="PC-\"01\"\\テ",version="2.0.0"} 1
# HELP quorvanex_last_cycle_duration_seconds How long the last check cycle took.
# TYPE quorvanex_last_cycle_duration_seconds gauge
quorvanex_last_cycle_duration_seconds 0.125
# HELP quorvanex_last_cycle_timestamp_seconds Start of the last check cycle, seconds since 1970.
# TYPE quorvanex_last_cycle_timestamp_seconds gauge
quorvanex_last_cycle_timestamp_seconds 1700000300
# HELP quorvanex_mails_total Alert mails by result.
# TYPE quorvanex_mails_total counter
quorvanex_mails_total{check="device",result="failed"} 0
quorvanex_mails_total{check="device",result="sent"} 1
quorvanex_mails_total{check="ping",result="failed"} 1
quorvanex_mails_total{check="ping",result="sent"} 1
# HELP quorvanex_ping_answered 1 when the server answered the ping of the last cycle, 0 when not.
# TYPE quorvanex_ping_answered gauge
quorvanex_ping_answered{server="192.0.2.1"} 0
quorvanex_ping_answered{server="srv \"b\"\\テスト"} 0
# HELP quorvanex_screen_alerts_total On-screen alerts by result.
# TYPE quorvanex_screen_alerts_total counter
quorvanex_screen_alerts_total{check="device",result="failed"} 0
quorvanex_screen_alerts_total{check="device",result="shown"} 1
quorvanex_screen_alerts_total{check="ping",result="failed"} 1
quorvanex_screen_alerts_total{check="ping",result="shown"} 1
# HELP quorvanex_start_time_seconds Start of the Monitor, seconds since 1970.
# TYPE quorvanex_start_time_seconds gauge
quorvanex_start_time_seconds 1699999970
# HELP quorvanex_threshold_crossings_total Threshold lines logged.
# TYPE quorvanex_threshold_crossings_total counter
quorvanex_threshold_crossings_total{check="device"} 1
quorvanex_threshold_crossings_total{check="ping"} 3
# HELP quorvanex_up 1 while the Monitor runs, 0 after an orderly stop.
# TYPE quorvanex_up gauge
quorvanex_up 0
)";

TEST_F(MetricsSequence, EveryMetricFollowsCrossingsMailsAndReArming) {
  const std::string second = "quorvanex_ping_answered{server=\"srv \\\"b\\\"\\\\\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\"}";
  const std::string first = "quorvanex_ping_answered{server=\"192.0.2.1\"}";

  // 1: the device reports an error, no server answers: both count a failure.
  wmi.statuses = {{true, L"Error"}};
  std::string text = Cycle();
  EXPECT_EQ(ValueOf(text, "quorvanex_up"), "1");
  EXPECT_EQ(ValueOf(text, "quorvanex_cycles_total"), "1");
  EXPECT_EQ(ValueOf(text, "quorvanex_last_cycle_timestamp_seconds"), std::to_string(kT0 + 60));
  EXPECT_EQ(ValueOf(text, "quorvanex_last_cycle_duration_seconds"), "0.125");
  EXPECT_EQ(ValueOf(text, "quorvanex_device_wmi_connected"), "1");
  EXPECT_EQ(ValueOf(text, "quorvanex_check_healthy{check=\"device\"}"), "0");
  EXPECT_EQ(ValueOf(text, "quorvanex_check_healthy{check=\"ping\"}"), "0");
  EXPECT_EQ(ValueOf(text, "quorvanex_check_consecutive_errors{check=\"ping\"}"), "1");
  EXPECT_EQ(ValueOf(text, first), "0");
  EXPECT_EQ(ValueOf(text, second), "0");
  EXPECT_EQ(ValueOf(text, "quorvanex_ping_answered{server=\"192.0.2.3\"}"), "absent");  // switched off

  // 2: no WMI connection (the device's health stays as it was); the ping
  // crossing shows the screen alert and its mail fails.
  wmi.connectResults = {false, true};
  mailer.exitCodes = {1};
  text = Cycle();
  EXPECT_EQ(ValueOf(text, "quorvanex_device_wmi_connected"), "0");
  EXPECT_EQ(ValueOf(text, "quorvanex_check_healthy{check=\"device\"}"), "0");
  EXPECT_EQ(ValueOf(text, "quorvanex_check_failures_total{check=\"device\"}"), "1");
  EXPECT_EQ(ValueOf(text, "quorvanex_threshold_crossings_total{check=\"ping\"}"), "1");
  EXPECT_EQ(ValueOf(text, "quorvanex_screen_alerts_total{check=\"ping\",result=\"shown\"}"), "1");
  EXPECT_EQ(ValueOf(text, "quorvanex_mails_total{check=\"ping\",result=\"failed\"}"), "1");
  EXPECT_EQ(ValueOf(text, "quorvanex_check_consecutive_errors{check=\"ping\"}"), "2");  // kept for the retry

  // 3: the first server answers and re-arms the episode; the counter, still
  // past the threshold, crosses again: the screen alert comes again (and
  // fails), the mail is sent and clears the counter. The second server was
  // not tried and drops out.
  wmi.connectResults = {true, false};
  wmi.statuses = {{true, L"ok"}};
  answering = {kFirst};
  mailer.exitCodes = {0};
  text = Cycle();
  EXPECT_EQ(ValueOf(text, "quorvanex_check_healthy{check=\"device\"}"), "1");
  EXPECT_EQ(ValueOf(text, "quorvanex_check_healthy{check=\"ping\"}"), "1");
  EXPECT_EQ(ValueOf(text, first), "1");
  EXPECT_EQ(ValueOf(text, second), "absent");
  EXPECT_EQ(ValueOf(text, "quorvanex_screen_alerts_total{check=\"ping\",result=\"failed\"}"), "1");
  EXPECT_EQ(ValueOf(text, "quorvanex_mails_total{check=\"ping\",result=\"sent\"}"), "1");
  EXPECT_EQ(ValueOf(text, "quorvanex_check_consecutive_errors{check=\"ping\"}"), "0");

  // 4: the device fails again; its counter kept the failure of cycle 1
  // across the success, so it crosses: screen alert and mail. 5: the ping
  // crossing falls in an episode whose alert was tried and whose one mail
  // was sent, so it only clears its counter.
  answering.clear();
  wmi.statuses = {{true, L"Error"}, {true, L"Error"}};
  mailer.exitCodes = {0};
  Cycle();
  Cycle();

  // The orderly stop; the file below shows the counts of all five cycles.
  collector->Publish(false);
  EXPECT_EQ(test::ReadBytes(file.Path()), kFileAfterSequence);
  EXPECT_EQ(checker->PingState().errorCount, 0u);  // the Checker's own account agrees
  EXPECT_EQ(checker->DeviceState().errorCount, 1u);
}

TEST(MetricsFile, LogsAFailureOnceUntilAWriteSucceeds) {
  TakeQueuedLogEntries();
  std::deque<bool> results = {false, false, false, true, true, false, false};
  std::vector<std::string> written;
  test::TempDir dir;
  MetricsFile file(dir.Path(), dir.Path(), [&](const HeldDirectory&, const std::wstring& name, std::string_view bytes) {
    EXPECT_EQ(name, L"quorvanex.prom");
    written.emplace_back(bytes);
    const bool ok = results.front();
    results.pop_front();
    return ok;
  });
  std::vector<std::wstring> logged;
  for (int i = 0; i < 7; ++i) {
    file.Write("x " + std::to_string(i) + "\n");
    for (LogEntry& entry : TakeQueuedLogEntries()) logged.push_back(entry.message + L"@" + std::to_wstring(i));
  }
  const std::wstring line = L"メトリクス書込 失敗:" + file.Path();
  EXPECT_EQ(logged, (std::vector<std::wstring>{line + L"@0", line + L"@5"}));
  EXPECT_EQ(written.size(), 7u);  // every write is tried
}

class MonitoringMetrics : public ::testing::Test {
 protected:
  void SetUp() override {
    TakeQueuedLogEntries();
    settings.intervalMinutes = 0;
    settings.pingThreshold = 1;  // empty server list: every cycle fails
    settings.deviceThreshold = 0;
    settings.exeDirectory = dir.Path();
    clock.TickOnEverySleep();
    ports.clock = &clock;
  }
  void TearDown() override {
    StopMonitoring();
    TakeQueuedLogEntries();
  }
  // Waits until the file shows `cycles` cycles (10 s at most).
  bool WaitForCycles(int cycles) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      const std::string count = ValueOf(test::ReadBytes(path), "quorvanex_cycles_total");
      if (count != "absent" && std::stoi(count) >= cycles) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }

  test::TempDir dir;
  std::wstring path = dir.File(L"quorvanex.prom");
  MonitorSettings settings;
  test::FakeClock clock{kT0};
  CheckerPorts ports;
};

TEST_F(MonitoringMetrics, OffWithoutADirectory) {
  StartMonitoring(settings, ports);
  StopMonitoring();
  EXPECT_TRUE(ListFilesEndingWith(dir.Path(), L"").empty());
}

TEST_F(MonitoringMetrics, WrittenAtTheStartAfterEachCycleAndDownAtTheStop) {
  settings.metricsDirectory = dir.Path();
  StartMonitoring(settings, ports);
  // Written before the worker started (a cycle may have replaced it since).
  const std::string atStart = test::ReadBytes(path);
  EXPECT_EQ(ValueOf(atStart, "quorvanex_up"), "1");
  EXPECT_EQ(ValueOf(atStart, "quorvanex_start_time_seconds"), std::to_string(kT0));
  EXPECT_EQ(ValueOf(atStart, "quorvanex_info{computer=\"" + WideToUtf8(ComputerName()) + "\",version=\"2.0.0\"}"),
            "1");
  ASSERT_TRUE(WaitForCycles(3));
  StopMonitoring();
  const std::string atStop = test::ReadBytes(path);
  EXPECT_EQ(ValueOf(atStop, "quorvanex_up"), "0");
  EXPECT_EQ(ValueOf(atStop, "quorvanex_check_failures_total{check=\"ping\"}"),
            ValueOf(atStop, "quorvanex_cycles_total"));
  StopMonitoring();  // nothing left to stop, nothing written again
  EXPECT_EQ(test::ReadBytes(path), atStop);
}

TEST_F(MonitoringMetrics, AnUnwritableDirectoryCostsOneLogLineAndTheChecksGoOn) {
  settings.metricsDirectory = dir.File(L"missing");
  StartMonitoring(settings, ports);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::vector<std::wstring> logged;
  auto crossings = [&] { return std::count(logged.begin(), logged.end(), msg::kPingThresholdExceeded); };
  while (crossings() < 3 && std::chrono::steady_clock::now() < deadline) {
    for (LogEntry& entry : TakeQueuedLogEntries()) logged.push_back(entry.message);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  StopMonitoring();
  for (LogEntry& entry : TakeQueuedLogEntries()) logged.push_back(entry.message);
  EXPECT_GE(crossings(), 3);
  const std::wstring failed = L"メトリクス書込 失敗:" + JoinPath(settings.metricsDirectory, L"quorvanex.prom");
  EXPECT_EQ(std::count(logged.begin(), logged.end(), failed), 1);
  ASSERT_FALSE(logged.empty());
  EXPECT_EQ(logged.front(), failed);  // at the start, before the watch began
}

}  // namespace
}  // namespace qv
