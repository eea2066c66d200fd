// Test-only stand-in for the Monitor service, for what the real one cannot
// be made to do: registers as a service, accepts STOP, and logs its start
// and stop into log\log.txt beside itself with the Monitor's texts. An argument
// (in the service's command line) is a delay in ms before it reports stopped.
#include <windows.h>

#include "common/codec.h"
#include "common/files.h"
#include "common/handles_win32.h"
#include "common/service_names.h"
#include "common/system.h"

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
qv::UniqueKernelHandle stopEvent;
DWORD stopDelayMs = 0;

void Log(const wchar_t* text) {
  const std::wstring dir = qv::JoinPath(qv::ExecutableDirectory(), L"log");
  qv::MakeDirectory(dir);
  // A line that did not get in shows as missing to the test that reads it.
  static_cast<void>(
      qv::AppendToFile(qv::JoinPath(dir, L"log.txt"), qv::EncodeCp932(std::wstring(L"stub|-|") + text + L"\r\n")));
}

void Report(DWORD state) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING);
    SetEvent(stopEvent.Get());
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
  statusHandle = RegisterServiceCtrlHandlerExW(qv::kMonitorServiceName, Handler, nullptr);
  if (!statusHandle) return;
  stopEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  Log(L"サービス開始");
  Report(SERVICE_RUNNING);
  WaitForSingleObject(stopEvent.Get(), INFINITE);
  Sleep(stopDelayMs);
  Log(L"サービス停止");
  stopEvent.Reset();
  Report(SERVICE_STOPPED);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 1) stopDelayMs = static_cast<DWORD>(_wtoi(argv[1]));
  wchar_t name[] = L"quorvanexdevicechecker";
  SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
