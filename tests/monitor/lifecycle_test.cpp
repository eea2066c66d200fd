#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <stop_token>
#include <thread>
#include <vector>

#include "common/clock.h"
#include "common/files.h"
#include "common/system.h"
#include "monitor/checks/checker.h"
#include "monitor/log/log_writer.h"
#include "monitor/messages.h"
#include "monitor/service/monitoring.h"
#include "monitor/settings.h"
#include "tests/support/test_clocks.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

constexpr std::int64_t kT0 = 1796534560;
constexpr std::int64_t kSteady0 = 86400;  // seconds since boot, say

// Each wait moves both clocks on by `step` seconds and records its length;
// the stop is requested during the wait that follows `stopAfter` waits.
// `wallSteps` sets the wall clock back or forward by the given seconds after
// the wait with that number.
class SteppingClock final : public Clock {
 public:
  explicit SteppingClock(std::stop_source& stop) : stop_(stop) {}
  std::int64_t Now() override { return now.load(); }
  std::int64_t SteadyMs() override { return steady.load() * 1000 + 250; }
  void SleepMs(std::uint32_t) override { ADD_FAILURE() << "the worker must wait, not sleep"; }
  bool WaitMs(std::uint32_t millis, std::stop_token stop) override {
    if (waits.size() >= stopAfter) stop_.request_stop();
    if (stop.stop_requested()) return true;
    waits.push_back(millis);
    const std::int64_t step = steps.empty() ? 1 : steps[(waits.size() - 1) % steps.size()];
    now += step;
    steady += step;
    if (auto jump = wallSteps.find(waits.size()); jump != wallSteps.end()) now += jump->second;
    return false;
  }
  void Pass(std::int64_t seconds) {
    now += seconds;
    steady += seconds;
  }

  std::atomic<std::int64_t> now{kT0};
  std::atomic<std::int64_t> steady{kSteady0};
  std::vector<std::int64_t> steps;
  std::map<std::size_t, std::int64_t> wallSteps;
  std::vector<std::uint32_t> waits;
  std::size_t stopAfter = 1000;

 private:
  std::stop_source& stop_;
};

struct LoopRun {
  std::stop_source stop;
  SteppingClock clock{stop};
  std::vector<std::int64_t> cycles;  // steady seconds at which cycles began, from the start

  void Run(std::int64_t period, std::int64_t cycleLasts = 0) {
    RunWorkerLoop(stop.get_token(), clock, period, [&] {
      cycles.push_back(clock.steady.load() - kSteady0);
      clock.Pass(cycleLasts);
    });
  }
};

TEST(WorkerLoop, FirstCycleComesAfterOneSecondThenOncePastThePeriod) {
  LoopRun run;
  run.clock.stopAfter = 700;
  run.Run(5 * 60);
  // Period measured start to start; a cycle begins at the first test past it.
  EXPECT_EQ(run.cycles, (std::vector<std::int64_t>{1, 302, 603}));
  for (std::uint32_t ms : run.clock.waits) ASSERT_EQ(ms, 1000u);
}

TEST(WorkerLoop, AStopDuringTheTickEndsTheLoopWithoutAnotherCycle) {
  LoopRun run;
  run.clock.stopAfter = 2;
  run.Run(0);
  EXPECT_EQ(run.cycles, (std::vector<std::int64_t>{1, 2}));
  EXPECT_EQ(run.clock.waits.size(), 2u);
}

TEST(WorkerLoop, IntervalZeroRunsACycleAfterEverySleepInWhichTheClockMoved) {
  LoopRun run;
  run.clock.steps = {1, 0, 1};
  run.clock.stopAfter = 6;
  run.Run(0);
  EXPECT_EQ(run.cycles, (std::vector<std::int64_t>{1, 2, 3, 4}));
}

TEST(WorkerLoop, ACycleLongerThanThePeriodIsFollowedOneSecondAfterItEnds) {
  LoopRun run;
  run.clock.stopAfter = 3;
  run.Run(300, 400);
  EXPECT_EQ(run.cycles, (std::vector<std::int64_t>{1, 402, 803}));
}

TEST(WorkerLoop, AWallClockSetBackAnHourKeepsTheCyclesComing) {
  LoopRun run;
  run.clock.wallSteps = {{3, -3600}};
  run.clock.stopAfter = 8;
  run.Run(0);
  EXPECT_EQ(run.cycles, (std::vector<std::int64_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(WorkerLoop, AWallClockSetForwardDoesNotBringTheNextCycleEarlier) {
  LoopRun run;
  run.clock.wallSteps = {{100, 3600}};
  run.clock.stopAfter = 400;
  run.Run(5 * 60);
  EXPECT_EQ(run.cycles, (std::vector<std::int64_t>{1, 302}));
}

TEST(WorkerLoop, AStopDuringACycleEndsTheLoopRightAfterThatCycle) {
  std::stop_source stop;
  SteppingClock clock{stop};
  int cycles = 0;
  RunWorkerLoop(stop.get_token(), clock, 0, [&] {
    ++cycles;
    stop.request_stop();
  });
  EXPECT_EQ(cycles, 1);
  EXPECT_EQ(clock.waits.size(), 1u);
}

TEST(Monitoring, StartLogsAndRunsTheWorkerAndStopJoinsIt) {
  TakeQueuedLogEntries();
  MonitorSettings settings;
  settings.intervalMinutes = 5;
  settings.pingThreshold = 0;  // both checks off: cycles touch nothing
  settings.deviceThreshold = 0;
  test::ThreadClock clock(kT0);
  CheckerPorts ports;
  ports.clock = &clock;
  StartMonitoring(settings, ports);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (clock.sleeps.load() < 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  StopMonitoring();
  const int sleepsAtStop = clock.sleeps.load();
  EXPECT_GE(sleepsAtStop, 3);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(clock.sleeps.load(), sleepsAtStop);  // the worker has ended
  StopMonitoring();                              // nothing left to stop

  std::vector<LogEntry> logged = TakeQueuedLogEntries();
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].message, msg::kMonitoringStart);
  EXPECT_EQ(logged[0].number, -1);
}

TEST(Monitoring, AMailCopyLeftByAKilledRunIsDeletedAtTheStart) {
  TakeQueuedLogEntries();
  test::TempDir dir;
  const std::wstring leftover = dir.File(L"mail_12345.ini");
  test::WriteBytes(leftover, "[Config]\r\nPassword=secret\r\nBody=ping error\r\n");
  MonitorSettings settings;
  settings.exeDirectory = dir.Path();
  settings.pingThreshold = 0;
  settings.deviceThreshold = 0;
  test::ThreadClock clock(kT0);
  CheckerPorts ports;
  ports.clock = &clock;
  StartMonitoring(settings, ports);
  StopMonitoring();
  EXPECT_FALSE(PathExists(leftover));
  TakeQueuedLogEntries();
}

// A tick of ten minutes: only the stop request can end a wait within the
// test's time limit.
class LongTickClock final : public Clock {
 public:
  std::int64_t Now() override { return kT0 + waits.load(); }
  std::int64_t SteadyMs() override { return waits.load() * 1000; }
  void SleepMs(std::uint32_t) override { ADD_FAILURE() << "the worker must wait, not sleep"; }
  bool WaitMs(std::uint32_t, std::stop_token stop) override {
    ++waits;
    return SystemClock().WaitMs(10 * 60 * 1000, std::move(stop));
  }
  std::atomic<int> waits{0};
};

TEST(SystemClock, AWaitEndsAtTheStopRequestAndOtherwiseRunsOut) {
  std::stop_source stop;
  std::jthread requester([&stop] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop.request_stop();
  });
  EXPECT_TRUE(SystemClock().WaitMs(10 * 60 * 1000, stop.get_token()));
  EXPECT_FALSE(SystemClock().WaitMs(5, std::stop_source().get_token()));
  EXPECT_TRUE(SystemClock().WaitMs(10 * 60 * 1000, stop.get_token()));  // already requested
}

TEST(Monitoring, StopEndsTheWorkersWaitForItsTick) {
  TakeQueuedLogEntries();
  MonitorSettings settings;
  settings.pingThreshold = 0;
  settings.deviceThreshold = 0;
  LongTickClock clock;
  CheckerPorts ports;
  ports.clock = &clock;
  StartMonitoring(settings, ports);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (clock.waits.load() < 1 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  StopMonitoring();  // hangs for ten minutes if the stop does not reach the wait
  EXPECT_EQ(clock.waits.load(), 1);
  TakeQueuedLogEntries();
}

}  // namespace
}  // namespace qv
