#include "common/clock.h"
#include "common/service_names.h"
#include "ctl/commands.h"
#include "ctl/rights.h"
#include "ctl/service_control.h"

namespace qv {

int RunRestart(CtlContext& ctx, const CommandArgs& args) {
  if (!args.empty()) return ctx.UsageError(L"restart takes no arguments");
  if (const std::optional<std::wstring> missing = MissingServiceRights()) {
    ctx.Err(L"quorvanexctl restart: " + *missing + L"\n");
    return kExitNoRights;
  }
  std::wstring why;
  ServiceManager* manager = RestartServiceManager(why);
  if (manager == nullptr) {
    ctx.Err(L"quorvanexctl restart: " + why + L"\n");
    return 1;
  }
  ctx.Out(std::wstring(L"restarting ") + kMonitorServiceName + L" (stop, then start)...\n");
  WatchedServiceManager watched(*manager);
  const bool running = RestartService(watched, SystemClock(), kMonitorServiceName);
  ctx.Out(DescribeRestart(running, watched) + L"\n");
  return running ? kExitOk : 1;
}

}  // namespace qv
