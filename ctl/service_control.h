#pragma once
// The Monitor's service as quorvanexctl sees and restarts it: the Service
// Control Manager on Windows, systemd on Linux.
#include <cstdint>
#include <optional>
#include <string>

#include "configurator/service_restart.h"

namespace qv {

struct ServiceStatus {
  bool answered = false;   // the service manager could be asked
  bool installed = false;
  bool running = false;
  std::wstring state;      // in words
  std::optional<std::int64_t> since;  // seconds since 1970, when known
  std::wstring problem;    // why the manager could not be asked
};

// The state of the service quorvanexdevicechecker; on Linux only where
// systemd runs (answered is false elsewhere, with the reason in problem).
ServiceStatus QueryMonitorService();

// The service manager the restart goes through; none where there is none,
// with the reason in `why`.
ServiceManager* RestartServiceManager(std::wstring& why);

// A service state (SERVICE_STATUS dwCurrentState) in words.
std::wstring ServiceStateText(std::uint32_t state);

// Passes every call on to `inner` and keeps what came back, so that the
// outcome of a restart can be told in words.
class WatchedServiceManager final : public ServiceManager {
 public:
  explicit WatchedServiceManager(ServiceManager& inner) : inner_(inner) {}

  Handle OpenManager() override;
  Handle OpenNamedService(Handle manager, std::wstring_view name) override;
  std::optional<std::uint32_t> QueryState(Handle service) override;
  bool SendStop(Handle service) override;
  bool StartWithoutArguments(Handle service) override;
  void Close(Handle handle) override { inner_.Close(handle); }

  bool managerOpened = false;
  bool serviceOpened = false;
  bool stopSent = false;
  bool startTried = false;
  bool startAccepted = false;
  bool queryFailed = false;
  std::optional<std::uint32_t> firstState;
  std::optional<std::uint32_t> lastState;

 private:
  ServiceManager& inner_;
};

// What a restart through `watched` did, in one sentence; `running` is the
// restart's result.
std::wstring DescribeRestart(bool running, const WatchedServiceManager& watched);

}  // namespace qv
