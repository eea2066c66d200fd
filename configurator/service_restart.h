#pragma once
// Restarting the Monitor service through the Service Control Manager, so that
// it reads the INI files again.
#include <cstdint>
#include <optional>
#include <string_view>

#include "common/clock.h"
#include "common/service_states.h"

namespace qv {

// The few Service Control Manager calls the restart needs. A handle of 0 means
// the open failed; every other handle must be given back to Close.
class ServiceManager {
 public:
  using Handle = std::uintptr_t;
  virtual ~ServiceManager() = default;
  virtual Handle OpenManager() = 0;                                    // local, all access
  virtual Handle OpenNamedService(Handle manager, std::wstring_view name) = 0;
  virtual std::optional<std::uint32_t> QueryState(Handle service) = 0;  // dwCurrentState
  virtual bool SendStop(Handle service) = 0;
  [[nodiscard]] virtual bool StartWithoutArguments(Handle service) = 0;
  virtual void Close(Handle handle) = 0;
};

// Each wait for a state begins with kRestartWaitMs; a service not there yet
// is then asked every kStatePollMs, for at most the wait's bound.
inline constexpr std::uint32_t kRestartWaitMs = 1000;
inline constexpr std::uint32_t kStatePollMs = 250;
inline constexpr std::uint32_t kStopWaitBoundMs = 60000;
inline constexpr std::uint32_t kStartWaitBoundMs = 30000;

// Asks the open `service` to stop unless it is stopped, and waits until it
// has (a stop may wait for an alert under way): `firstWaitMs`, then a query
// every kStatePollMs for at most `boundMs`. False when it was not seen
// stopped, or a query failed.
bool StopServiceAndWait(ServiceManager& manager, Clock& clock, ServiceManager::Handle service,
                        std::uint32_t firstWaitMs, std::uint32_t boundMs);

// Stops the service and waits as above (kRestartWaitMs, kStopWaitBoundMs),
// starts it and waits until it runs. True only when it was seen running; a
// service that does not stop within the bound is not started.
bool RestartService(ServiceManager& manager, Clock& clock, std::wstring_view name);
// The same for the Monitor's service.
bool RestartMonitorService(ServiceManager& manager, Clock& clock);

// The real Service Control Manager (where the platform has one; elsewhere
// every open fails).
ServiceManager& SystemServiceManager();

}  // namespace qv
