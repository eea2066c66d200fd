#include <cstdio>

#include "checker.h"
#include "entry.h"
#include "log.h"
#include "messages.h"
#include "settings.h"
#include "system.h"

int ProgramMain(const std::vector<std::wstring>& args) {
  using namespace qv;
  switch (InitializePlatform()) {
    case PlatformInitResult::NoModuleHandle:
      ConsoleWrite(msg::kFatalNoModuleHandle);
      return 1;
    case PlatformInitResult::FrameworkFailed:
      ConsoleWrite(msg::kFatalFrameworkInit);
      return 1;
    case PlatformInitResult::Ok:
      break;
  }
  if (args.size() <= 1) return 0;
  LoadSettings();
  WriteLogNumbered(-1, msg::kConsoleStart);
  StartMonitoring();
  std::getchar();
  StopMonitoring();
  WriteLogNumbered(-1, msg::kConsoleStop);
  return 0;
}
