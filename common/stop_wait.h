#pragma once
// A wait that a stop request ends early, one implementation per platform.
#include <cstdint>
#include <stop_token>

namespace qv {

// Waits up to `millis`, or until a stop is requested on `stop` (from any
// thread); true when the stop was requested.
bool WaitForStop(std::uint32_t millis, std::stop_token stop);

}  // namespace qv
