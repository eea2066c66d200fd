#pragma once
// Clocks the Monitor's tests run the log writer and the worker on.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "common/clock.h"

namespace qv::test {

// Time stands still and sleeps return at once.
class StillClock final : public Clock {
 public:
  std::int64_t Now() override { return 1796534560; }
  std::int64_t SteadyMs() override { return 0; }
  void SleepMs(std::uint32_t) override {}
};

// For a real worker thread: every sleep is a short real one that moves the
// fake time a second on.
class ThreadClock final : public Clock {
 public:
  explicit ThreadClock(std::int64_t start) : now(start) {}
  std::int64_t Now() override { return now.load(); }
  std::int64_t SteadyMs() override { return now.load() * 1000; }
  void SleepMs(std::uint32_t) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    now += 1;
    sleeps += 1;
  }
  std::atomic<std::int64_t> now;
  std::atomic<int> sleeps{0};
};

}  // namespace qv::test
