#include "configurator/service_manager_win32.h"

#include <string>

namespace qv {
namespace {

// Standard required rights plus query/change configuration, query status,
// enumerate dependents, start and stop (0xF003F).
constexpr DWORD kServiceAccess = STANDARD_RIGHTS_REQUIRED | SERVICE_QUERY_CONFIG |
                                 SERVICE_CHANGE_CONFIG | SERVICE_QUERY_STATUS |
                                 SERVICE_ENUMERATE_DEPENDENTS | SERVICE_START | SERVICE_STOP;
static_assert(kServiceAccess == 0xF003F);

class ScmServiceManager : public ServiceManager {
 public:
  Handle OpenManager() override {
    return FromSc(OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_ALL_ACCESS));
  }
  Handle OpenNamedService(Handle manager, std::wstring_view name) override {
    return FromSc(OpenServiceW(ToSc(manager), std::wstring(name).c_str(), kServiceAccess));
  }
  std::optional<std::uint32_t> QueryState(Handle service) override {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(ToSc(service), &status)) return std::nullopt;
    return status.dwCurrentState;
  }
  bool SendStop(Handle service) override {
    SERVICE_STATUS status{};
    return ControlService(ToSc(service), SERVICE_CONTROL_STOP, &status) != 0;
  }
  bool StartWithoutArguments(Handle service) override {
    return StartServiceW(ToSc(service), 0, nullptr) != 0;
  }
  void Close(Handle handle) override { CloseServiceHandle(ToSc(handle)); }
};

}  // namespace

ServiceManager& SystemServiceManager() {
  static ScmServiceManager manager;
  return manager;
}

}  // namespace qv
