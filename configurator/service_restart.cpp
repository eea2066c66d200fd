#include "configurator/service_restart.h"

#include "common/clock.h"
#include "common/service_names.h"
#include "common/unique_handle.h"

namespace qv {
namespace {

// A handle of the manager in use, given back to it on every way out.
struct ManagedHandleTraits {
  struct Handle {
    ServiceManager* manager = nullptr;
    ServiceManager::Handle value = 0;
  };
  static Handle Invalid() noexcept { return {}; }
  static bool IsValid(const Handle& h) noexcept { return h.value != 0; }
  static void Close(const Handle& h) noexcept { h.manager->Close(h.value); }
};
using ManagedHandle = UniqueHandle<ManagedHandleTraits>;

// The first wait, then polling within `boundMs`; false when the state is not
// reached in time or the query fails.
bool WaitForState(ServiceManager& manager, Clock& clock, ServiceManager::Handle service,
                  std::uint32_t wanted, std::uint32_t firstWaitMs, std::uint32_t boundMs) {
  if (firstWaitMs > 0) clock.SleepMs(firstWaitMs);
  for (std::uint32_t polledMs = 0;; polledMs += kStatePollMs) {
    const std::optional<std::uint32_t> state = manager.QueryState(service);
    if (!state) return false;
    if (*state == wanted) return true;
    if (polledMs >= boundMs) return false;
    clock.SleepMs(kStatePollMs);
  }
}

}  // namespace

bool StopServiceAndWait(ServiceManager& manager, Clock& clock, ServiceManager::Handle service,
                        std::uint32_t firstWaitMs, std::uint32_t boundMs) {
  const std::optional<std::uint32_t> before = manager.QueryState(service);
  if (!before) return false;
  if (*before == kServiceStopped) return true;
  // Pending and paused states are stopped too; whether the request was taken
  // shows in the state.
  manager.SendStop(service);
  return WaitForState(manager, clock, service, kServiceStopped, firstWaitMs, boundMs);
}

bool RestartService(ServiceManager& manager, Clock& clock, std::wstring_view name) {
  // Declared in this order so that the service handle is closed first.
  const ManagedHandle scm({&manager, manager.OpenManager()});
  if (!scm) return false;
  const ManagedHandle service({&manager, manager.OpenNamedService(scm.Get().value, name)});
  if (!service) return false;

  const ServiceManager::Handle handle = service.Get().value;
  if (!StopServiceAndWait(manager, clock, handle, kRestartWaitMs, kStopWaitBoundMs)) return false;
  if (!manager.StartWithoutArguments(handle)) return false;
  return WaitForState(manager, clock, handle, kServiceRunning, kRestartWaitMs, kStartWaitBoundMs);
}

bool RestartMonitorService(ServiceManager& manager, Clock& clock) {
  return RestartService(manager, clock, kConfiguratorServiceName);
}

}  // namespace qv
