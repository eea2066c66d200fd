#pragma once
// The clock the tests run the logic on. Time stands still and sleeps and
// waits return at once unless a test moves it, lets each sleep move it, or
// takes the waits over.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <thread>

#include "common/clock.h"

namespace qv::test {

// 2026/12/06 14:22:40 in JST.
inline constexpr std::int64_t kFakeNow = 1796534560;

class FakeClock final : public Clock {
 public:
  explicit FakeClock(std::int64_t start = kFakeNow) : now(start) {}

  std::int64_t Now() override { return now.load(); }
  std::int64_t SteadyMs() override { return steadyMs.load(); }
  void SleepMs(std::uint32_t millis) override {
    if (onSleep) onSleep(millis);
    sleptMs += millis;
    ++sleeps;
  }
  bool WaitMs(std::uint32_t millis, std::stop_token stop) override {
    ++waits;
    return onWait ? onWait(millis, std::move(stop)) : Clock::WaitMs(millis, std::move(stop));
  }

  // Moves the wall clock and the steady clock on together.
  void Pass(std::int64_t seconds) {
    now += seconds;
    steadyMs += seconds * 1000;
  }
  // For a real worker thread: every sleep is a short real one that moves the
  // time a second on.
  void TickOnEverySleep() {
    onSleep = [this](std::uint32_t) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      Pass(1);
    };
  }

  std::atomic<std::int64_t> now;
  std::atomic<std::int64_t> steadyMs{0};
  std::atomic<std::uint32_t> sleptMs{0};
  std::atomic<int> sleeps{0};
  std::atomic<int> waits{0};
  // Set before the clock is shared with another thread.
  std::function<void(std::uint32_t)> onSleep;  // what else happens while it sleeps
  std::function<bool(std::uint32_t, std::stop_token)> onWait;  // replaces the wait
};

}  // namespace qv::test
