#pragma once
// The changes quorvanexctl makes as the Configurator makes them: its
// settings loaded, one value changed, all of them saved its way.
#include <string>

#include "configurator/configurator_settings.h"
#include "ctl/ctl_context.h"

namespace qv {

// Checks the rights to write the files the Configurator's save writes, then
// saves `settings`; says what went wrong on standard error. The exit code:
// 0 saved, kExitNoRights, or 1 when a write failed.
int SaveLikeConfigurator(CtlContext& ctx, const ConfiguratorSettings& settings, const std::wstring& command);

// Reminds that the Monitor reads the files only when it starts.
void SayRestartNeeded(CtlContext& ctx);

}  // namespace qv
