#pragma once
// The Linux WmiConnection: a stand-in that answers from the device tree.
#include <memory>
#include <string>

#include "monitor/wmi/wmi_connection.h"

namespace qv {

// The stand-in WMI connection over the device tree below `sysfsRoot`.
// CreateWmiConnection() uses "/sys", or $QV_SYSFS_ROOT when set: a test hook
// that lets the end-to-end tests show the Monitor a device tree of their own.
std::unique_ptr<WmiConnection> CreateSysfsWmiConnection(std::wstring sysfsRoot);

}  // namespace qv
