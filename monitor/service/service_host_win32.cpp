#include <windows.h>

#include <atomic>

#include "common/handles_win32.h"
#include "monitor/service/service_host.h"

namespace qv {
namespace {

// The dispatcher calls plain functions without a context: they reach the one
// service of the process through this.
ServiceCallbacks* g_service = nullptr;
// Set when the service main function has returned.
UniqueKernelHandle g_mainReturned;

void WINAPI ServiceMainTrampoline(DWORD, LPWSTR*) {
  if (g_service != nullptr) g_service->Main();
  SetEvent(g_mainReturned.Get());
}

DWORD WINAPI ControlTrampoline(DWORD control, DWORD, LPVOID, LPVOID) {
  if (g_service != nullptr) g_service->Control(control);
  return NO_ERROR;
}

class ScmServiceHost final : public ServiceHost {
 public:
  bool RunDispatcher(const wchar_t* serviceName, ServiceCallbacks& service) override {
    g_service = &service;
    g_mainReturned.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    wchar_t name[64] = {};
    lstrcpynW(name, serviceName, 64);
    SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMainTrampoline}, {nullptr, nullptr}};
    const bool dispatched = StartServiceCtrlDispatcherW(table) != FALSE;
    // The dispatcher returns as soon as STOPPED is reported, while the main
    // function is still on its way out of the service it belongs to.
    if (stoppedReported_.load()) WaitForSingleObject(g_mainReturned.Get(), INFINITE);
    g_service = nullptr;
    return dispatched;
  }

  void RegisterControl(const wchar_t* serviceName) override {
    statusHandle_.store(RegisterServiceCtrlHandlerExW(serviceName, ControlTrampoline, nullptr));
  }

  void ReportStatus(const ServiceStatusRecord& status) override {
    // A control may come before the registration has returned its handle.
    const SERVICE_STATUS_HANDLE handle = statusHandle_.load();
    if (handle == nullptr) return;
    SERVICE_STATUS record{};
    record.dwServiceType = status.serviceType;
    record.dwCurrentState = status.currentState;
    record.dwControlsAccepted = status.controlsAccepted;
    record.dwWin32ExitCode = status.win32ExitCode;
    record.dwServiceSpecificExitCode = status.serviceSpecificExitCode;
    record.dwCheckPoint = status.checkPoint;
    record.dwWaitHint = status.waitHint;
    if (status.currentState == kServiceStopped) stoppedReported_.store(true);
    SetServiceStatus(handle, &record);
  }

 private:
  std::atomic<SERVICE_STATUS_HANDLE> statusHandle_{nullptr};
  std::atomic<bool> stoppedReported_{false};
};

}  // namespace

ServiceHost& PlatformServiceHost() {
  static ScmServiceHost host;
  return host;
}

}  // namespace qv
