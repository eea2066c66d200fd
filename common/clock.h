#pragma once
// Time as the logic sees it, replaceable in tests by a fake that never sleeps.
#include <cstdint>

namespace qv {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::int64_t Now() = 0;                 // seconds since 1970 (_time64)
  virtual void SleepMs(std::uint32_t millis) = 0;  // Sleep
};

Clock& SystemClock();

}  // namespace qv
