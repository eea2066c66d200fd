#include "common/stop_wait.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace qv {

bool WaitForStop(std::uint32_t millis, std::stop_token stop) {
  // The stop token wakes the condition variable itself; nothing else does.
  std::mutex lock;
  std::condition_variable_any woken;
  std::unique_lock<std::mutex> hold(lock);
  woken.wait_for(hold, stop, std::chrono::milliseconds(millis), [] { return false; });
  return stop.stop_requested();
}

}  // namespace qv
