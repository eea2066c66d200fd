#include "common/system.h"
#include "ctl/commands.h"
#include "monitor/checks/checker.h"
#include "monitor/settings.h"
#include "monitor/wmi/com_apartment.h"

namespace qv {

int RunTestAlert(CtlContext& ctx, const CommandArgs& args) {
  if (args.size() > 1 || (args.size() == 1 && args[0] != L"ping" && args[0] != L"device")) {
    return ctx.UsageError(L"test-alert takes ping or device");
  }
  const CheckKind kind = !args.empty() && args[0] == L"device" ? CheckKind::Device : CheckKind::Ping;
  const wchar_t* name = kind == CheckKind::Ping ? L"ping" : L"device";
  MonitorSettings settings;
  LoadSettings(settings, ctx.Directory());

  // The Monitor's own alert: its Checker, WMI connection and message.ini text.
  const ComApartment apartment;
  Checker checker(settings, SystemCheckerPorts());
  const bool shown = checker.ShowScreenAlert(kind, NowSeconds());
  ctx.Out(shown ? std::wstring(L"the on-screen alert (") + name + L") was shown\n"
                : std::wstring(L"the on-screen alert (") + name +
                      L") could not be shown: no WMI connection, the message program did not start, or no "
                      L"user's terminal took it\n");
  if (!settings.screenAlertEnabled) {
    ctx.Out(L"note: message.ini [Config] Pomvex is off, so the Monitor itself shows no on-screen alert\n");
  }
  return shown ? kExitOk : 1;
}

}  // namespace qv
