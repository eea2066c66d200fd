#include "service_restart.h"

#include "clock.h"
#include "service_names.h"

namespace qv {
namespace {

// Gives a handle back on every way out of the restart.
class ScopedServiceHandle {
 public:
  ScopedServiceHandle(ServiceManager& manager, ServiceManager::Handle handle)
      : manager_(manager), handle_(handle) {}
  ~ScopedServiceHandle() {
    if (handle_ != 0) manager_.Close(handle_);
  }
  ScopedServiceHandle(const ScopedServiceHandle&) = delete;
  ScopedServiceHandle& operator=(const ScopedServiceHandle&) = delete;
  ServiceManager::Handle Get() const { return handle_; }
  explicit operator bool() const { return handle_ != 0; }

 private:
  ServiceManager& manager_;
  ServiceManager::Handle handle_;
};

class SystemSleeperImpl : public Sleeper {
 public:
  void SleepMs(std::uint32_t millis) override { SystemClock().SleepMs(millis); }
};

}  // namespace

bool RestartService(ServiceManager& manager, Sleeper& sleeper, std::wstring_view name) {
  // Declared in this order so that the service handle is closed first.
  ScopedServiceHandle scm(manager, manager.OpenManager());
  if (!scm) return false;
  ScopedServiceHandle service(manager, manager.OpenNamedService(scm.Get(), name));
  if (!service) return false;

  const std::optional<std::uint32_t> before = manager.QueryState(service.Get());
  if (!before) return false;
  if (*before != kServiceStopped) {
    // Pending and paused states are stopped too; the start below tells
    // whether the stop got through in time.
    manager.SendStop(service.Get());
    sleeper.SleepMs(kRestartWaitMs);
  }
  if (!manager.StartWithoutArguments(service.Get())) return false;
  sleeper.SleepMs(kRestartWaitMs);

  const std::optional<std::uint32_t> after = manager.QueryState(service.Get());
  return after && *after == kServiceRunning;
}

bool RestartMonitorService(ServiceManager& manager, Sleeper& sleeper) {
  return RestartService(manager, sleeper, kConfiguratorServiceName);
}

Sleeper& SystemSleeper() {
  static SystemSleeperImpl sleeper;
  return sleeper;
}

}  // namespace qv
