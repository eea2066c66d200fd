#include <windows.h>

#include "monitor/service/service_host.h"

namespace qv {
namespace {

ServiceMainProc g_serviceMain = nullptr;
ServiceControlProc g_controlHandler = nullptr;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;

void WINAPI ServiceMainTrampoline(DWORD, LPWSTR*) {
  if (g_serviceMain != nullptr) g_serviceMain();
}

DWORD WINAPI ControlTrampoline(DWORD control, DWORD, LPVOID, LPVOID) {
  if (g_controlHandler != nullptr) g_controlHandler(control);
  return NO_ERROR;
}

}  // namespace

bool RunServiceDispatcher(const wchar_t* serviceName, ServiceMainProc serviceMain) {
  g_serviceMain = serviceMain;
  wchar_t name[64] = {};
  lstrcpynW(name, serviceName, 64);
  SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMainTrampoline}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) != FALSE;
}

void RegisterServiceControl(const wchar_t* serviceName, ServiceControlProc handler) {
  g_controlHandler = handler;
  g_statusHandle = RegisterServiceCtrlHandlerExW(serviceName, ControlTrampoline, nullptr);
}

void ReportServiceStatus(const ServiceStatusRecord& status) {
  if (g_statusHandle == nullptr) return;
  SERVICE_STATUS record{};
  record.dwServiceType = status.serviceType;
  record.dwCurrentState = status.currentState;
  record.dwControlsAccepted = status.controlsAccepted;
  record.dwWin32ExitCode = status.win32ExitCode;
  record.dwServiceSpecificExitCode = status.serviceSpecificExitCode;
  record.dwCheckPoint = status.checkPoint;
  record.dwWaitHint = status.waitHint;
  SetServiceStatus(g_statusHandle, &record);
}

}  // namespace qv
