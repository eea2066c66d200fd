// Run by the installer before it stops, replaces or removes the service:
// stops quorvanexdevicechecker and waits until it has stopped, so that its
// executable is no longer in use. (Wine's installer does not wait on its
// own.) Usage: ServiceStopWait [seconds]; always exits 0 when the service is
// stopped or absent, 1 when it is still running at the end of the wait.
#include <windows.h>

#include <cstdint>
#include <cwchar>

#include "common/clock.h"
#include "common/handles_win32.h"
#include "common/service_names.h"
#include "configurator/service_manager_win32.h"

using qv::UniqueServiceHandle;

int wmain(int argc, wchar_t** argv) {
  const auto seconds = argc > 1 ? static_cast<std::uint32_t>(std::wcstoul(argv[1], nullptr, 10)) : 60u;
  // Only the rights the stop needs, so that an absent service can be told
  // from one that may not be stopped.
  UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return 1;
  UniqueServiceHandle service(
      OpenServiceW(manager.Get(), qv::kMonitorServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS));
  if (!service) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? 0 : 1;
  // Asked at once: the installer waits on us.
  const bool stopped = qv::StopServiceAndWait(qv::SystemServiceManager(), qv::SystemClock(),
                                              qv::FromSc(service.Get()), /*firstWaitMs=*/0, seconds * 1000);
  return stopped ? 0 : 1;
}
