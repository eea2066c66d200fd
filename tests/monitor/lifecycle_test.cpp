#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <stop_token>
#include <thread>
#include <vector>

#include "common/files.h"
#include "common/system.h"
#include "monitor/checks/checker.h"
#include "monitor/log/log_writer.h"
#include "monitor/messages.h"
#include "monitor/service/monitoring.h"
#include "monitor/settings.h"
#include "tests/support/fake_clock.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

constexpr std::int64_t kT0 = 1796534560;
constexpr std::int64_t kSteady0 = 86400;  // seconds since boot, say

// The worker must wait, so that a stop request can end its tick.
void ForbidSleeps(test::FakeClock& clock) {
  clock.onSleep = [](std::uint32_t) { ADD_FAILURE() << "the worker must wait, not sleep"; };
}

// Each wait moves both clocks on by `step` seconds and records its length;
// the stop is requested during the wait that follows `stopAfter` waits.
// `wallSteps` sets the wall clock back or forward by the given seconds after
// the wait with that number.
struct LoopRun {
  std::stop_source stop;
  test::FakeClock clock{kT0};
  std::vector<std::int64_t> steps;
  std::map<std::size_t, std::int64_t> wallSteps;
  std::vector<std::uint32_t> waits;
  std::size_t stopAfter = 1000;
  std::vector<std::int64_t> cycles;  // steady seconds at which cycles began, from the start

  LoopRun() {
    clock.steadyMs = kSteady0 * 1000 + 250;
    ForbidSleeps(clock);
    clock.onWait = [this](std::uint32_t millis, std::stop_token token) {
      if (waits.size() >= stopAfter) stop.request_stop();
      if (token.stop_requested()) return true;
      waits.push_back(millis);
      clock.Pass(steps.empty() ? 1 : steps[(waits.size() - 1) % steps.size()]);
      if (auto jump = wallSteps.find(waits.size()); jump != wallSteps.end()) clock.now += jump->second;
      return false;
    };
  }

  void Run(std::int64_t period, std::int64_t cycleLasts = 0) {
    RunWorkerLoop(stop.get_token(), clock, period, [&] {
      cycles.push_back(clock.SteadyMs() / 1000 - kSteady0);
      clock.Pass(cycleLasts);
    });
  }
};

TEST(WorkerLoop, FirstCycleComesAfterOneSecondThenOncePastThePeriod) {
  LoopRun run;
  run.stopAfter = 700;
  run.Run(5 * 60);
  // Period measured start to start; a cycle begins at the first test past it.
  EXPECT_EQ(run.cycles, (std::vector<std::int64_t>{1, 302, 603}));
  for (std::uint32_t ms : run.waits) ASSERT_EQ(ms, 1000u);
}

TEST(WorkerLoop, AStopDuringTheTickEndsTheLoopWithoutAnotherCycle) {
  LoopRun run;
  run.stopAfter = 2;
  run.Run(0);
  EXPECT_EQ(run.cycles, (std::vector<std::int64_t>{1, 2}));
  EXPECT_EQ(run.waits.size(), 2u);
}

TEST(WorkerLoop, IntervalZeroRunsACycleAfterEverySleepInWhichTheClockMoved) {
  LoopRun run;
  run.steps = {1, 0, 1};
  run.stopAfter = 6;
  run.Run(0);
  EXPECT_EQ(run.cycles, (std::vector<std::int64_t>{1, 2, 3, 4}));
}

TEST(WorkerLoop, ACycleLongerThanThePeriodIsFollowedOneSecondAfterItEnds) {
  LoopRun run;
  run.stopAfter = 3;
  run.Run(300, 400);
  EXPECT_EQ(run.cycles, (std::vector<std::int64_t>{1, 402, 803}));
}

TEST(WorkerLoop, AWallClockSetBackAnHourKeepsTheCyclesComing) {
  LoopRun run;
  run.wallSteps = {{3, -3600}};
  run.stopAfter = 8;
  run.Run(0);
  EXPECT_EQ(run.cycles, (std::vector<std::int64_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(WorkerLoop, AWallClockSetForwardDoesNotBringTheNextCycleEarlier) {
  LoopRun run;
  run.wallSteps = {{100, 3600}};
  run.stopAfter = 400;
  run.Run(5 * 60);
  EXPECT_EQ(run.cycles, (std::vector<std::int64_t>{1, 302}));
}

TEST(WorkerLoop, AStopDuringACycleEndsTheLoopRightAfterThatCycle) {
  LoopRun run;
  int cycles = 0;
  RunWorkerLoop(run.stop.get_token(), run.clock, 0, [&] {
    ++cycles;
    run.stop.request_stop();
  });
  EXPECT_EQ(cycles, 1);
  EXPECT_EQ(run.waits.size(), 1u);
}

TEST(Monitoring, StartLogsAndRunsTheWorkerAndStopJoinsIt) {
  TakeQueuedLogEntries();
  MonitorSettings settings;
  settings.intervalMinutes = 5;
  settings.pingThreshold = 0;  // both checks off: cycles touch nothing
  settings.deviceThreshold = 0;
  test::FakeClock clock(kT0);
  clock.TickOnEverySleep();
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
  test::FakeClock clock(kT0);
  clock.TickOnEverySleep();
  CheckerPorts ports;
  ports.clock = &clock;
  StartMonitoring(settings, ports);
  StopMonitoring();
  EXPECT_FALSE(PathExists(leftover));
  TakeQueuedLogEntries();
}

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
  // A tick of ten minutes: only the stop request can end a wait within the
  // test's time limit.
  test::FakeClock clock;
  ForbidSleeps(clock);
  clock.onWait = [](std::uint32_t, std::stop_token stop) { return SystemClock().WaitMs(10 * 60 * 1000, stop); };
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
