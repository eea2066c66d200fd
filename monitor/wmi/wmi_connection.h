#pragma once
// A connection to WMI ("root\cimv2") of one machine, made for one piece of
// work and then released. Windows: the WMI scripting objects; Linux: a
// stand-in that answers from the machine's own device tree.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/server_info.h"

namespace qv {

// One Win32_PnPEntity as the device check sees it.
struct DeviceIdAndStatus {
  std::wstring deviceId;
  std::wstring status;  // empty when WMI has no value for it
};

class WmiConnection {
 public:
  virtual ~WmiConnection() = default;

  // True when the connection to root\cimv2 of `info.server` is open.
  virtual bool Connect(QuorvanexServerInfo info) = 0;
  // Status text of the first Win32_PnPEntity whose DeviceID begins with
  // `pattern` (already escaped for a WQL literal); false when none or no value.
  virtual bool QueryDeviceStatus(const std::wstring& pattern, std::wstring& status) = 0;
  // DeviceID and Status of every Win32_PnPEntity, in WMI's order; false
  // when the query failed.
  virtual bool QueryAllDevices(std::vector<DeviceIdAndStatus>& devices) = 0;
  // Win32_Process.Create of `commandLine`; true when it returned a ReturnValue.
  [[nodiscard]] virtual bool StartProcess(const std::wstring& commandLine,
                                          const std::wstring& currentDirectory, std::wstring& returnValue) = 0;
  // Gives up the connection, then the locator. Safe to call more than once.
  virtual void Release() = 0;

  std::int32_t lastError = 0;  // HRESULT of the step that failed
};

std::unique_ptr<WmiConnection> CreateWmiConnection();

}  // namespace qv
