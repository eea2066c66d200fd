#pragma once
// The Win32_PnPEntity rows this Linux machine would show, built from sysfs.
#include <string>
#include <vector>

namespace qv {

struct PnpEntityRow {
  std::wstring deviceId;  // USB\VID_..&PID_..\<serial or port path>, PCI\VEN_..&DEV_..&SUBSYS_..&REV_..\<address>
  std::wstring caption;   // empty when sysfs names none
  std::wstring status;    // "OK" with a driver bound, else "Error"
};

// PCI devices, then USB devices, each in name order. `sysfsRoot` is "/sys"
// except in tests.
std::vector<PnpEntityRow> ReadPnpEntities(const std::wstring& sysfsRoot);

}  // namespace qv
