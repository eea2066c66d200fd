#pragma once
// The commands of quorvanexctl, one file each (cmd_<name>.cpp). Each gets the
// arguments after its name and returns the exit code.
#include <string>
#include <vector>

#include "ctl/ctl_context.h"

namespace qv {

using CommandArgs = std::vector<std::wstring>;

int RunCheck(CtlContext& ctx, const CommandArgs& args);
int RunStatus(CtlContext& ctx, const CommandArgs& args);
int RunLog(CtlContext& ctx, const CommandArgs& args);
int RunDevices(CtlContext& ctx, const CommandArgs& args);
int RunPing(CtlContext& ctx, const CommandArgs& args);
int RunServers(CtlContext& ctx, const CommandArgs& args);
int RunSet(CtlContext& ctx, const CommandArgs& args);
int RunRestart(CtlContext& ctx, const CommandArgs& args);
int RunTestMail(CtlContext& ctx, const CommandArgs& args);
int RunTestAlert(CtlContext& ctx, const CommandArgs& args);

}  // namespace qv
