// Entry of the Monitor: console run with any argument, service run without.
#include <chrono>
#include <future>
#include <mutex>
#include <stop_token>

#include "common/clock.h"
#include "common/entry.h"
#include "common/service_names.h"
#include "common/system.h"
#include "monitor/log/log_writer.h"
#include "monitor/messages.h"
#include "monitor/service/console_host.h"
#include "monitor/service/monitoring.h"
#include "monitor/service/service_host.h"
#include "monitor/settings.h"

namespace qv {
namespace {

constexpr std::uint32_t kStartWaitHintMs = 30000;
constexpr std::uint32_t kStopWaitHintMs = 3000;
// While the stop sequence waits (for an alert under way, for a locked log
// file), STOP_PENDING is reported again this often with the next checkpoint,
// well within the wait hint.
constexpr std::uint32_t kStopCheckpointMs = 1000;

// What the STOP handler signals and the service thread waits on.
std::stop_source g_serviceStop;
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
    case kServiceControlStop: {
      std::lock_guard<std::mutex> hold(g_statusLock);
      // A second STOP must not take the checkpoint back.
      if (g_status.currentState != kServiceStopPending) {
        g_status.currentState = kServiceStopPending;
        g_status.checkPoint = 0;
        g_status.waitHint = kStopWaitHintMs;
      }
      ReportServiceStatus(g_status);
    }
      g_serviceStop.request_stop();
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

// The stop sequence, with STOP_PENDING reported anew every second while it
// lasts, so that the service manager never takes a long stop for a hang.
void StopReportingProgress() {
  std::future<void> stopped = std::async(std::launch::async, [] { StopSequence(Mode::Service); });
  std::uint32_t checkPoint = 0;
  while (stopped.wait_for(std::chrono::milliseconds(kStopCheckpointMs)) != std::future_status::ready) {
    ReportState(kServiceStopPending, ++checkPoint, kStopWaitHintMs);
  }
  stopped.get();
}

void ServiceMain() {
  RegisterServiceControl(kMonitorServiceName, ServiceControlHandler);
  ReportState(kServiceStartPending, 1, kStartWaitHintMs);
  ReportState(kServiceRunning, 0, 0);
  StartSequence(Mode::Service);
  // Woken by the STOP handler at once; the minute only bounds one wait.
  const std::stop_token stop = g_serviceStop.get_token();
  while (!SystemClock().WaitMs(60000, stop)) {
  }
  StopReportingProgress();
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
  PrepareConsoleStop();
  StartSequence(Mode::Console);
  WaitForConsoleStop();  // Enter, the end of standard input, Ctrl-C, a stop signal
  StopSequence(Mode::Console);
  ConsoleStopFinished();
  return 0;
}
