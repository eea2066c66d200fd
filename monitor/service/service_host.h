#pragma once
// The service manager as the Monitor sees it. Windows: the service control
// dispatcher, handler registration and status reports. Linux: systemd, with
// the status reported over NOTIFY_SOCKET and SIGTERM as the STOP control.
#include <cstdint>

#include "common/service_states.h"

namespace qv {

struct ServiceStatusRecord {
  std::uint32_t serviceType = kServiceWin32OwnProcess;
  std::uint32_t currentState = kServiceStartPending;
  std::uint32_t controlsAccepted = kServiceAcceptStop;
  std::uint32_t win32ExitCode = 0;
  std::uint32_t serviceSpecificExitCode = 0;
  std::uint32_t checkPoint = 0;
  std::uint32_t waitHint = 0;
};

using ServiceMainProc = void (*)();
using ServiceControlProc = void (*)(std::uint32_t control);

// Hands the process to the service manager, which runs `serviceMain` on a
// thread of its own and delivers controls on this one; returns when the
// service has ended. False at once when no service manager started us.
bool RunServiceDispatcher(const wchar_t* serviceName, ServiceMainProc serviceMain);
// Registers the control handler (results are not reported back: nobody acts on them).
void RegisterServiceControl(const wchar_t* serviceName, ServiceControlProc handler);
void ReportServiceStatus(const ServiceStatusRecord& status);

}  // namespace qv
