#include <windows.h>

#include "common/format.h"
#include "common/handles_win32.h"
#include "common/service_names.h"
#include "common/service_states.h"
#include "ctl/service_control.h"

namespace qv {
namespace {

std::wstring ErrorText(DWORD error) {
  if (error == ERROR_ACCESS_DENIED) return L"access denied";
  return Format(L"error %u", static_cast<std::uint32_t>(error));
}

// FILETIME counts 100 ns since 1601.
std::int64_t UnixSeconds(const FILETIME& time) {
  ULARGE_INTEGER ticks{};
  ticks.LowPart = time.dwLowDateTime;
  ticks.HighPart = time.dwHighDateTime;
  return static_cast<std::int64_t>(ticks.QuadPart / 10000000ULL) - 11644473600LL;
}

// The start of the service's process; nothing when it cannot be opened
// (another account's process may be closed to this one).
std::optional<std::int64_t> ProcessStart(DWORD pid) {
  if (pid == 0) return std::nullopt;
  UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!process || !GetProcessTimes(process.Get(), &created, &exited, &kernel, &user)) return std::nullopt;
  return UnixSeconds(created);
}

}  // namespace

ServiceStatus QueryMonitorService() {
  ServiceStatus status;
  // Only what any account may ask: a user without rights sees the state too.
  UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) {
    status.problem = L"the service manager could not be opened: " + ErrorText(GetLastError());
    return status;
  }
  UniqueServiceHandle service(OpenServiceW(manager.Get(), kMonitorServiceName, SERVICE_QUERY_STATUS));
  if (!service) {
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
      status.answered = true;
      status.state = L"not installed";
    } else {
      status.problem = L"the service could not be opened: " + ErrorText(error);
    }
    return status;
  }
  SERVICE_STATUS_PROCESS process{};
  DWORD needed = 0;
  if (!QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&process),
                            sizeof process, &needed)) {
    status.problem = L"the service's state could not be read: " + ErrorText(GetLastError());
    return status;
  }
  status.answered = true;
  status.installed = true;
  status.running = process.dwCurrentState == kServiceRunning;
  status.state = ServiceStateText(process.dwCurrentState);
  if (process.dwCurrentState != kServiceStopped) status.since = ProcessStart(process.dwProcessId);
  return status;
}

ServiceManager* RestartServiceManager(std::wstring&) { return &SystemServiceManager(); }

}  // namespace qv
