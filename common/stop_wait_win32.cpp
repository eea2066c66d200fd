#include "common/stop_wait.h"

#include <windows.h>

#include <algorithm>
#include <chrono>

namespace qv {
namespace {

// How late a stop may be seen.
constexpr std::uint32_t kStopPollMs = 10;

}  // namespace

// No stop callback here: with MinGW's libstdc++ (no futex), destroying one
// while another thread's request_stop is still running it waits on a
// semaphore whose wake-up can be lost, and the wait never ends. A stop that
// came just as a one-second tick ran out left the service in STOP_PENDING for
// good. So the token is looked at every few milliseconds instead.
bool WaitForStop(std::uint32_t millis, std::stop_token stop) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(millis);
  while (!stop.stop_requested()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0) return false;
    Sleep(static_cast<DWORD>(std::min<long long>(left, kStopPollMs)));
  }
  return true;
}

}  // namespace qv
