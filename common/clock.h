#pragma once
// Time as the logic sees it, replaceable in tests by a fake that never sleeps.
#include <cstdint>
#include <stop_token>

namespace qv {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::int64_t Now() = 0;                 // seconds since 1970 (_time64)
  // Milliseconds on a clock that only moves forward, whatever is done to the
  // wall clock; its zero point means nothing.
  virtual std::int64_t SteadyMs() = 0;
  virtual void SleepMs(std::uint32_t millis) = 0;  // Sleep
  // Waits up to `millis` or until a stop is requested on `stop`; true when the
  // stop was requested. Fakes that never see a stop during the wait may keep
  // this one, which sleeps the whole time.
  virtual bool WaitMs(std::uint32_t millis, std::stop_token stop) {
    if (stop.stop_requested()) return true;
    SleepMs(millis);
    return stop.stop_requested();
  }
};

Clock& SystemClock();

}  // namespace qv
