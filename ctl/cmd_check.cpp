#include "ctl/commands.h"

namespace qv {

int RunCheck(CtlContext& ctx, const CommandArgs& args) {
  if (!args.empty()) return ctx.UsageError(L"check takes no arguments");
  ctx.Err(L"quorvanexctl check: not yet\n");
  return kExitUsage;
}

}  // namespace qv
