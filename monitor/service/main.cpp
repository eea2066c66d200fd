// Entry of the Monitor: console run with any argument, service run without.
#include "common/clock.h"
#include "common/entry.h"
#include "common/system.h"
#include "monitor/log/log_writer.h"
#include "monitor/messages.h"
#include "monitor/service/console_host.h"
#include "monitor/service/monitoring.h"
#include "monitor/service/service_host.h"
#include "monitor/service/service_run.h"
#include "monitor/settings.h"

namespace qv {
namespace {

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
    ServiceRun service(PlatformServiceHost(), SystemClock(),
                       {[] { StartSequence(Mode::Service); }, [] { StopSequence(Mode::Service); }});
    // Started by hand without arguments the dispatcher fails: exit quietly.
    service.Run();
    return 0;
  }
  PrepareConsoleStop();
  StartSequence(Mode::Console);
  WaitForConsoleStop();  // Enter, the end of standard input, Ctrl-C, a stop signal
  StopSequence(Mode::Console);
  ConsoleStopFinished();
  return 0;
}
