#pragma once
// The worker's timing loop, apart from the Checker so it can be driven by a
// fake clock.
#include <atomic>
#include <cstdint>
#include <functional>

namespace qv {

class Clock;

inline constexpr std::uint32_t kWorkerSleepMs = 1000;

// Sleeps a second, runs `cycle` when more than `periodSeconds` have passed
// since the last cycle began (the first cycle counts from 1970), and leaves
// once `running` is found 0 after a sleep or a cycle.
void RunWorkerLoop(const std::atomic<std::int32_t>& running, Clock& clock, std::int64_t periodSeconds,
                   const std::function<void()>& cycle);

}  // namespace qv
