// Test and bench helper: sends STOP to a service and watches its status until
// it has stopped, printing every change of state, checkpoint or wait hint.
//   svcwatch NAME [seconds]    (default 120)
// Lines: "<ms> <state> <checkpoint> <wait hint>", then "stopped <ms>" (ms since
// the STOP request). Exit code 0 when STOPPED was seen, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "common/handles_win32.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 1;
  const DWORD seconds = argc > 2 ? static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)) : 120;
  qv::UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return 1;
  qv::UniqueServiceHandle service(OpenServiceW(manager.Get(), argv[1], SERVICE_STOP | SERVICE_QUERY_STATUS));
  if (!service) return 1;

  LARGE_INTEGER frequency{};
  LARGE_INTEGER begin{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&begin);
  auto elapsedMs = [&] {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - begin.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
  };

  SERVICE_STATUS status{};
  if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) {
    std::printf("stop refused %lu\n", GetLastError());
    return 1;
  }
  SERVICE_STATUS last{};
  last.dwCurrentState = 0;
  for (;;) {
    if (!QueryServiceStatus(service.Get(), &status)) return 1;
    const double ms = elapsedMs();
    if (status.dwCurrentState != last.dwCurrentState || status.dwCheckPoint != last.dwCheckPoint ||
        status.dwWaitHint != last.dwWaitHint) {
      std::printf("%.1f %lu %lu %lu\n", ms, status.dwCurrentState, status.dwCheckPoint, status.dwWaitHint);
      std::fflush(stdout);
      last = status;
    }
    if (status.dwCurrentState == SERVICE_STOPPED) {
      std::printf("stopped %.1f\n", ms);
      return 0;
    }
    if (ms > seconds * 1000.0) return 1;
    Sleep(1);
  }
}
