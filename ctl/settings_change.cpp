#include "ctl/settings_change.h"

#include "common/system.h"
#include "ctl/rights.h"

namespace qv {

int SaveLikeConfigurator(CtlContext& ctx, const ConfiguratorSettings& settings, const std::wstring& command) {
  std::vector<std::wstring> files{JoinPath(settings.exeDirectory, kConfigIni)};
  if (!settings.servers.empty()) files.push_back(JoinPath(settings.exeDirectory, kQuorvanexIni));
  if (const std::optional<std::wstring> missing = MissingWriteRights(files)) {
    ctx.Err(L"quorvanexctl " + command + L": " + *missing + L"\n");
    return kExitNoRights;
  }
  if (!SaveDialogSettings(settings)) {
    ctx.Err(L"quorvanexctl " + command + L": the settings could not be written (all of them) to " +
            settings.exeDirectory + L"\n");
    return 1;
  }
  return kExitOk;
}

void SayRestartNeeded(CtlContext& ctx) {
  ctx.Out(L"The Monitor reads the settings when it starts: quorvanexctl restart\n");
}

}  // namespace qv
