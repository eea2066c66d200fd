// Entry of the Monitor: console run with any argument, service run without.
#include "common/clock.h"
#include "common/entry.h"
#include "common/instance_lock.h"
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

// False, with the fatal line, when another Monitor runs in this folder. Comes
// before the settings, the log and the mail copy are touched. A folder whose
// lock cannot be tried at all does not stop the watch.
bool TakeFolder(InstanceLock& folder) {
  if (folder.Acquire(ExecutableDirectory()) != InstanceLock::Result::Busy) return true;
  ConsoleWrite(msg::kFatalAlreadyRunning);
  return false;
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
  InstanceLock folder;
  if (args.size() <= 1) {
    // The folder is given up before STOPPED is reported: a restart that
    // starts the service at once must find it free.
    ServiceRun service(PlatformServiceHost(), SystemClock(),
                       {[] { StartSequence(Mode::Service); },
                        [&folder] {
                          StopSequence(Mode::Service);
                          folder.Release();
                        }},
                       [&folder] { return TakeFolder(folder); });
    // Started by hand without arguments the dispatcher fails: exit quietly.
    service.Run();
    return service.Refused() ? 1 : 0;
  }
  if (!TakeFolder(folder)) return 1;
  PrepareConsoleStop();
  StartSequence(Mode::Console);
  WaitForConsoleStop();  // Enter, the end of standard input, Ctrl-C, a stop signal
  StopSequence(Mode::Console);
  ConsoleStopFinished();
  return 0;
}
