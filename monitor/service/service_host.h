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

// What the service manager calls: the service main function on a thread of
// its own, the control handler on the dispatcher's thread.
class ServiceCallbacks {
 public:
  virtual void Main() = 0;
  virtual void Control(std::uint32_t control) = 0;

 protected:
  ~ServiceCallbacks() = default;
};

class ServiceHost {
 public:
  virtual ~ServiceHost() = default;
  // Hands the process to the service manager, which runs `service.Main()` on
  // a thread of its own and delivers controls on this one; returns when the
  // service has ended and Main has returned. False at once when no service
  // manager started us.
  virtual bool RunDispatcher(const wchar_t* serviceName, ServiceCallbacks& service) = 0;
  // From here on controls reach the service's Control (results are not
  // reported back: nobody acts on them).
  virtual void RegisterControl(const wchar_t* serviceName) = 0;
  virtual void ReportStatus(const ServiceStatusRecord& status) = 0;
};

// The service control manager on Windows, systemd on Linux.
ServiceHost& PlatformServiceHost();

}  // namespace qv
