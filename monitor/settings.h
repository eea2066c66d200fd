#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/server_info.h"

namespace qv {

// The Monitor's settings, read once at start and then only read, by every
// thread, without a lock.
struct MonitorSettings {
  std::wstring exeDirectory;
  std::int32_t intervalMinutes = 1;
  std::int32_t pingThreshold = 5;
  std::int32_t deviceThreshold = 5;
  std::wstring logDirectory;
  std::wstring hardwarePattern;
  std::vector<QuorvanexServerInfo> servers;
  std::uint32_t mailSendLimit = 0;
  bool screenAlertEnabled = false;
  // Where the metrics file goes; empty switches it off.
  std::wstring metricsDirectory;
};

// The process-wide record.
MonitorSettings& TheMonitorSettings();

// Fills the process-wide record from the INI files beside the executable.
void LoadSettings();
// Fills `settings` from the INI files in `exeDirectory` (for tests).
void LoadSettings(MonitorSettings& settings, const std::wstring& exeDirectory);

}  // namespace qv
