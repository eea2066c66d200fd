#pragma once
// The Windows WmiConnection: the WMI scripting objects (SWbemLocator and
// friends). Every operation turns a failing call into a ComError, catches it
// itself, keeps its HRESULT in lastError and answers false. No COM security
// is set up: the scripting objects' own defaults apply.
#include <windows.h>
#include <ole2.h>
#include <wbemdisp.h>

#include "monitor/wmi/com_support_win32.h"
#include "monitor/wmi/wmi_connection.h"

namespace qv {

class ScriptingWmiConnection final : public WmiConnection {
 public:
  ScriptingWmiConnection() = default;
  ~ScriptingWmiConnection() override { Release(); }
  ScriptingWmiConnection(const ScriptingWmiConnection&) = delete;
  ScriptingWmiConnection& operator=(const ScriptingWmiConnection&) = delete;

  bool Connect(QuorvanexServerInfo info) override;
  bool QueryDeviceStatus(const std::wstring& pattern, std::wstring& status) override;
  bool QueryAllDevices(std::vector<DeviceIdAndStatus>& devices) override;
  bool StartProcess(const std::wstring& commandLine, const std::wstring& currentDirectory,
                    std::wstring& returnValue) override;
  // Services first, then the locator.
  void Release() override {
    services_.Reset();
    locator_.Reset();
  }

  ISWbemLocator* locator() const { return locator_.Get(); }
  ISWbemServices* services() const { return services_.Get(); }

 private:
  HRESULT CreateLocator();
  bool Fail(HRESULT hr) {
    lastError = hr;
    return false;
  }

  // Declared in this order so that destruction, too, drops services first.
  ComPtr<ISWbemLocator> locator_;
  ComPtr<ISWbemServices> services_;
};

}  // namespace qv
