#pragma once
// The values the Configurator edits, and their reading from and writing to
// the shared INI files.
#include <cstdint>
#include <string>
#include <vector>

#include "common/server_info.h"

namespace qv {

struct ConfiguratorSettings {
  std::wstring exeDirectory;
  // Initial values differ from the file defaults on purpose: a negative value
  // in config.ini keeps these, a missing key gives 5.
  std::int32_t intervalMinutes = 1;
  std::int32_t pingThreshold = 5;
  std::int32_t deviceThreshold = 5;
  std::int32_t mailSelection = 0;  // item of the (hidden) mail selector
  std::vector<QuorvanexServerInfo> servers;
};

// The process-wide record; the dialog only shows it.
ConfiguratorSettings& TheConfiguratorSettings();

// Fills `s` from the INI files in `exeDirectory`, and writes it back there
// (s.exeDirectory). The save writes every key it can and is false when any
// write failed.
void LoadDialogSettings(ConfiguratorSettings& s, const std::wstring& exeDirectory);
[[nodiscard]] bool SaveDialogSettings(const ConfiguratorSettings& s);

}  // namespace qv
