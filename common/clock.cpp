#include "common/clock.h"

#include <chrono>
#include <thread>

#include "common/system.h"

namespace qv {
namespace {

class RealClock final : public Clock {
 public:
  std::int64_t Now() override { return NowSeconds(); }
  void SleepMs(std::uint32_t millis) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(millis));
  }
};

}  // namespace

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

}  // namespace qv
