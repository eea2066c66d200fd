// Run by the installer before it stops, replaces or removes the service:
// stops quorvanexdevicechecker and waits until it has stopped, so that its
// executable is no longer in use. (Wine's installer does not wait on its
// own.) Usage: ServiceStopWait [seconds]; always exits 0 when the service is
// stopped or absent, 1 when it is still running at the end of the wait.
#include <windows.h>

#include <cwchar>

#include "common/handles_win32.h"
#include "common/service_names.h"

using qv::UniqueServiceHandle;

int wmain(int argc, wchar_t** argv) {
  const DWORD seconds = argc > 1 ? static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10)) : 60;
  UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return 1;
  UniqueServiceHandle service(OpenServiceW(manager.Get(), qv::kMonitorServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS));
  if (!service) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? 0 : 1;
  SERVICE_STATUS status{};
  ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
  for (DWORD waited = 0; waited <= seconds * 1000; waited += 250) {
    if (!QueryServiceStatus(service.Get(), &status)) return 1;
    if (status.dwCurrentState == SERVICE_STOPPED) return 0;
    Sleep(250);
  }
  return 1;
}
