#pragma once
// Stand-in until the Monitor takes its folder lock: whether a Monitor of a
// program folder runs.
#include <string>

namespace qv {

// True when a Monitor holds `folder` now.
bool MonitorRunsIn(const std::wstring& folder);

}  // namespace qv
