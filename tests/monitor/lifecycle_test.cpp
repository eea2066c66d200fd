#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stop_token>
#include <thread>
#include <vector>

#include "common/clock.h"
#include "monitor/checks/checker.h"
#include "monitor/log/log_writer.h"
#include "monitor/messages.h"
#include "monitor/service/monitoring.h"
#include "monitor/settings.h"

namespace qv {
namespace {

constexpr std::int64_t kT0 = 1796534560;

// Each wait moves the time on by `step` seconds and records its length; the
// stop is requested during the wait that follows `stopAfter` waits.
class SteppingClock final : public Clock {
 public:
  explicit SteppingClock(std::stop_source& stop) : stop_(stop) {}
  std::int64_t Now() override { return now.load(); }
  void SleepMs(std::uint32_t) override { ADD_FAILURE() << "the worker must wait, not sleep"; }
  bool WaitMs(std::uint32_t millis, std::stop_token stop) override {
    if (waits.size() >= stopAfter) stop_.request_stop();
    if (stop.stop_requested()) return true;
    waits.push_back(millis);
    now += steps.empty() ? 1 : steps[(waits.size() - 1) % steps.size()];
    return false;
  }

  std::atomic<std::int64_t> now{kT0};
  std::vector<std::int64_t> steps;
  std::vector<std::uint32_t> waits;
  std::size_t stopAfter = 1000;

 private:
  std::stop_source& stop_;
};

struct LoopRun {
  std::stop_source stop;
  SteppingClock clock{stop};
  std::vector<std::int64_t> cycles;  // times at which cycles began

  void Run(std::int64_t period, std::int64_t cycleLasts = 0) {
    RunWorkerLoop(stop.get_token(), clock, period, [&] {
      cycles.push_back(clock.now.load());
      clock.now += cycleLasts;
    });
  }
};

TEST(WorkerLoop, FirstCycleComesAfterOneSecondThenOncePastThePeriod) {
  LoopRun run;
  run.clock.stopAfter = 700;
  run.Run(5 * 60);
  // Period measured start to start; a cycle begins at the first test past it.
  EXPECT_EQ(run.cycles, (std::vector<std::int64_t>{kT0 + 1, kT0 + 302, kT0 + 603}));
  for (std::uint32_t ms : run.clock.waits) ASSERT_EQ(ms, 1000u);
}

TEST(WorkerLoop, AStopDuringTheTickEndsTheLoopWithoutAnotherCycle) {
  LoopRun run;
  run.clock.stopAfter = 2;
  run.Run(0);
  EXPECT_EQ(run.cycles, (std::vector<std::int64_t>{kT0 + 1, kT0 + 2}));
  EXPECT_EQ(run.clock.waits.size(), 2u);
}

TEST(WorkerLoop, IntervalZeroRunsACycleAfterEverySleepInWhichTheClockMoved) {
  LoopRun run;
  run.clock.steps = {1, 0, 1};
  run.clock.stopAfter = 6;
  run.Run(0);
  EXPECT_EQ(run.cycles, (std::vector<std::int64_t>{kT0 + 1, kT0 + 2, kT0 + 3, kT0 + 4}));
}

TEST(WorkerLoop, ACycleLongerThanThePeriodIsFollowedOneSecondAfterItEnds) {
  LoopRun run;
  run.clock.stopAfter = 3;
  run.Run(300, 400);
  EXPECT_EQ(run.cycles, (std::vector<std::int64_t>{kT0 + 1, kT0 + 402, kT0 + 803}));
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

// A tick of ten minutes: only the stop request can end a wait within the
// test's time limit.
class LongTickClock final : public Clock {
 public:
  std::int64_t Now() override { return kT0 + waits.load(); }
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

// A clock for a real worker thread: short real sleeps, fake time.
class ThreadClock final : public Clock {
 public:
  std::int64_t Now() override { return now.load(); }
  void SleepMs(std::uint32_t) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    now += 1;
    sleeps += 1;
  }
  std::atomic<std::int64_t> now{kT0};
  std::atomic<int> sleeps{0};
};

TEST(Monitoring, StartLogsAndRunsTheWorkerAndStopJoinsIt) {
  TakeQueuedLogEntries();
  MonitorSettings settings;
  settings.intervalMinutes = 5;
  settings.pingThreshold = 0;  // both checks off: cycles touch nothing
  settings.deviceThreshold = 0;
  ThreadClock clock;
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

}  // namespace
}  // namespace qv
