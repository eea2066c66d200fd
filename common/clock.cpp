#include "common/clock.h"

#include <chrono>
#include <thread>
#include <utility>

#include "common/stop_wait.h"
#include "common/system.h"

namespace qv {
namespace {

class RealClock final : public Clock {
 public:
  std::int64_t Now() override { return NowSeconds(); }
  std::int64_t SteadyMs() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void SleepMs(std::uint32_t millis) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(millis));
  }
  bool WaitMs(std::uint32_t millis, std::stop_token stop) override {
    return WaitForStop(millis, std::move(stop));
  }
};

}  // namespace

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

}  // namespace qv
