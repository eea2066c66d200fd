#include "ctl/service_control.h"

#include "common/format.h"
#include "common/service_names.h"
#include "common/service_states.h"

namespace qv {

std::wstring ServiceStateText(std::uint32_t state) {
  switch (state) {
    case kServiceStopped: return L"stopped";
    case kServiceStartPending: return L"starting";
    case kServiceStopPending: return L"stopping";
    case kServiceRunning: return L"running";
    case 5: return L"continuing";
    case 6: return L"pausing";
    case 7: return L"paused";
    default: return Format(L"in state %u", state);
  }
}

ServiceManager::Handle WatchedServiceManager::OpenManager() {
  const Handle h = inner_.OpenManager();
  managerOpened = h != 0;
  return h;
}

ServiceManager::Handle WatchedServiceManager::OpenNamedService(Handle manager, std::wstring_view name) {
  const Handle h = inner_.OpenNamedService(manager, name);
  serviceOpened = h != 0;
  return h;
}

std::optional<std::uint32_t> WatchedServiceManager::QueryState(Handle service) {
  const std::optional<std::uint32_t> state = inner_.QueryState(service);
  queryFailed = !state;
  if (state) {
    if (!firstState) firstState = state;
    lastState = state;
  }
  return state;
}

bool WatchedServiceManager::SendStop(Handle service) {
  stopSent = true;
  return inner_.SendStop(service);
}

bool WatchedServiceManager::StartWithoutArguments(Handle service) {
  startTried = true;
  startAccepted = inner_.StartWithoutArguments(service);
  return startAccepted;
}

std::wstring DescribeRestart(bool running, const WatchedServiceManager& w) {
  const std::wstring state = w.lastState ? ServiceStateText(*w.lastState) : std::wstring(L"unknown");
  if (running) {
    return w.stopSent ? L"the service stopped and runs again" : L"the service was stopped; it runs now";
  }
  if (!w.managerOpened) return L"the service manager could not be opened";
  if (!w.serviceOpened) return Format(L"the service %s could not be opened (not installed?)", kMonitorServiceName);
  if (w.queryFailed) return L"the service's state could not be read";
  if (!w.startTried) {
    return Format(L"the service did not stop within %u s (it is %s); not started",
                  (kRestartWaitMs + kStopWaitBoundMs) / 1000, state);
  }
  if (!w.startAccepted) return L"the service stopped, but the start was refused; it is " + state;
  return Format(L"the service was started but is %s after %u s", state, (kRestartWaitMs + kStartWaitBoundMs) / 1000);
}

}  // namespace qv
