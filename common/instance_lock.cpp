#include "common/instance_lock.h"

#include <chrono>
#include <thread>

namespace qv {
namespace {

constexpr int kBusyRetries = 10;
constexpr std::chrono::milliseconds kBusyPause{100};

}  // namespace

InstanceLock::Result InstanceLock::Acquire(const std::wstring& folder) {
  Release();
  for (int attempt = 0;; ++attempt) {
    const Result result = TryAcquire(folder);
    if (result != Result::Busy || attempt == kBusyRetries) return result;
    std::this_thread::sleep_for(kBusyPause);
  }
}

}  // namespace qv
