// Linux stand-in for the WMI scripting objects: the connection is local
// only, the device query is evaluated as WQL against the sysfs device table,
// and Win32_Process.Create becomes a detached process start.
#include <cstdlib>

#include "common/system.h"
#include "common/text_util.h"
#include "monitor/wmi/device_table_posix.h"
#include "monitor/wmi/process_start_posix.h"
#include "monitor/wmi/wmi_connection_posix.h"
#include "monitor/wmi/wql.h"

namespace qv {
namespace {

class SysfsWmiConnection final : public WmiConnection {
 public:
  explicit SysfsWmiConnection(std::wstring sysfsRoot) : root_(std::move(sysfsRoot)) {}

  bool Connect(QuorvanexServerInfo info) override {
    connected_ = false;
    if (!NamesThisComputer(info.server)) {
      lastError = kRpcServerUnavailable;
      return false;
    }
    // WMI refuses a user name or password on a local connection.
    if (!info.username.empty() || !info.password.empty()) {
      lastError = kWbemLocalCredentials;
      return false;
    }
    connected_ = true;
    return true;
  }

  bool QueryDeviceStatus(const std::wstring& pattern, std::wstring& status) override {
    if (!connected_) return Fail(kComPointer);
    auto query = ParseWqlLikeQuery(DeviceQueryText(pattern));
    if (!query) return Fail(kWbemInvalidQuery);
    if (!EqualsNoCase(query->className, L"Win32_PnPEntity")) return Fail(kWbemInvalidClass);
    bool selectsCaption = false;
    bool selectsStatus = false;
    for (const std::wstring& p : query->properties) {
      const bool all = p == L"*";
      if (!all && !IsColumn(p)) return Fail(kWbemInvalidQuery);
      selectsCaption = selectsCaption || all || EqualsNoCase(p, L"Caption");
      selectsStatus = selectsStatus || all || EqualsNoCase(p, L"Status");
    }
    if (!IsColumn(query->property)) return Fail(kWbemInvalidQuery);

    for (const PnpEntityRow& row : ReadPnpEntities(root_)) {
      if (!WqlLike(Column(row, query->property), query->pattern)) continue;
      // Only the first object counts; a property the query did not select
      // cannot be read from it.
      if (!selectsCaption || !selectsStatus) return Fail(kWbemNotFound);
      status = row.status;
      return true;
    }
    return false;
  }

  bool QueryAllDevices(std::vector<DeviceIdAndStatus>& devices) override {
    if (!connected_) return Fail(kComPointer);
    devices.clear();
    for (PnpEntityRow& row : ReadPnpEntities(root_)) {
      devices.push_back({std::move(row.deviceId), std::move(row.status)});
    }
    return true;
  }

  bool StartProcess(const std::wstring& commandLine, const std::wstring& currentDirectory,
                    std::wstring& returnValue) override {
    if (!connected_) return Fail(kComPointer);
    return StartCommandDetached(commandLine, currentDirectory, returnValue);
  }

  void Release() override { connected_ = false; }

 private:
  // As ConnectServer takes them: no name, "." and "localhost" mean this computer too.
  static bool NamesThisComputer(const std::wstring& server) {
    return server.empty() || server == L"." || EqualsNoCase(server, L"localhost") ||
           EqualsNoCase(server, ComputerName());
  }
  static bool IsColumn(const std::wstring& name) {
    return EqualsNoCase(name, L"DeviceID") || EqualsNoCase(name, L"Caption") || EqualsNoCase(name, L"Status");
  }
  static const std::wstring& Column(const PnpEntityRow& row, const std::wstring& name) {
    if (EqualsNoCase(name, L"Caption")) return row.caption;
    if (EqualsNoCase(name, L"Status")) return row.status;
    return row.deviceId;
  }
  bool Fail(std::int32_t hr) {
    lastError = hr;
    return false;
  }

  std::wstring root_;
  bool connected_ = false;
};

}  // namespace

std::unique_ptr<WmiConnection> CreateSysfsWmiConnection(std::wstring sysfsRoot) {
  return std::make_unique<SysfsWmiConnection>(std::move(sysfsRoot));
}

std::unique_ptr<WmiConnection> CreateWmiConnection() {
  const char* root = std::getenv("QV_SYSFS_ROOT");
  return CreateSysfsWmiConnection(root != nullptr && *root != 0 ? Utf8ToWide(root) : std::wstring(L"/sys"));
}

}  // namespace qv
