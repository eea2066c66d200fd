// Entry of the Monitor: console run with any argument, service run without.
#include <atomic>
#include <cstdio>
#include <mutex>

#include "common/clock.h"
#include "common/entry.h"
#include "common/service_names.h"
#include "common/system.h"
#include "monitor/log/log_writer.h"
#include "monitor/messages.h"
#include "monitor/service/monitoring.h"
#include "monitor/service/service_host.h"
#include "monitor/settings.h"

namespace qv {
namespace {

constexpr std::uint32_t kStartWaitHintMs = 30000;
constexpr std::uint32_t kStopWaitHintMs = 3000;
constexpr std::uint32_t kStopPollMs = 500;

std::atomic<bool> g_serviceRunning{true};
// The one record every report passes; the service thread and the handler
// thread both update it.
std::mutex g_statusLock;
ServiceStatusRecord g_status;

enum class Mode { Console, Service };

void StartSequence(Mode mode) {
  LoadSettings();
  // The configured directory is in place before the writer thread starts.
  StartLogWriter(TheMonitorSettings().logDirectory);
  if (mode == Mode::Service) {
    WriteLogNumbered(-1, msg::kServiceStart);
  } else {
    WriteLogNumbered(-1, msg::kConsoleStart);
  }
  StartMonitoring();
}

void StopSequence(Mode mode) {
  StopMonitoring();
  if (mode == Mode::Service) {
    WriteLogNumbered(-1, msg::kServiceStop);
  } else {
    WriteLogNumbered(-1, msg::kConsoleStop);
  }
  StopLogWriter();
}

void ReportState(std::uint32_t state, std::uint32_t checkPoint, std::uint32_t waitHint) {
  std::lock_guard<std::mutex> hold(g_statusLock);
  g_status.currentState = state;
  g_status.checkPoint = checkPoint;
  g_status.waitHint = waitHint;
  ReportServiceStatus(g_status);
}

void ServiceControlHandler(std::uint32_t control) {
  switch (control) {
    case kServiceControlStop:
      ReportState(kServiceStopPending, 0, kStopWaitHintMs);
      g_serviceRunning.store(false);
      break;
    case kServiceControlInterrogate: {
      std::lock_guard<std::mutex> hold(g_statusLock);
      ReportServiceStatus(g_status);
    }
      break;
    default:
      break;
  }
}

void ServiceMain() {
  RegisterServiceControl(kMonitorServiceName, ServiceControlHandler);
  ReportState(kServiceStartPending, 1, kStartWaitHintMs);
  ReportState(kServiceRunning, 0, 0);
  StartSequence(Mode::Service);
  do {
    SystemClock().SleepMs(kStopPollMs);
  } while (g_serviceRunning.load());
  StopSequence(Mode::Service);
  ReportState(kServiceStopped, 0, 0);
}

}  // namespace
}  // namespace qv

int ProgramMain(const std::vector<std::wstring>& args) {
  using namespace qv;
  ResetInheritedSignalState();
  switch (InitializePlatform()) {
    case PlatformInitResult::NoModuleHandle:
      ConsoleWrite(msg::kFatalNoModuleHandle);
      return 1;
    case PlatformInitResult::Ok:
      break;
  }
  SetProgramLocale();
  if (args.size() <= 1) {
    // Started by hand without arguments the dispatcher fails: exit quietly.
    RunServiceDispatcher(kMonitorServiceName, ServiceMain);
    return 0;
  }
  StartSequence(Mode::Console);
  std::getchar();  // Enter, or the end of standard input
  StopSequence(Mode::Console);
  return 0;
}
