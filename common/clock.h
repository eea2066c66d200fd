#pragma once
// Time as the logic sees it, replaceable in tests by a fake that never sleeps.
#include <cstdint>

namespace qv {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::int64_t Now() = 0;                 // seconds since 1970 (_time64)
  // Milliseconds on a clock that only moves forward, whatever is done to the
  // wall clock; its zero point means nothing.
  virtual std::int64_t SteadyMs() = 0;
  virtual void SleepMs(std::uint32_t millis) = 0;  // Sleep
};

Clock& SystemClock();

}  // namespace qv
