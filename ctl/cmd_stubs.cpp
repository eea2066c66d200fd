// Commands that are not built yet: each says so and fails.
#include "ctl/commands.h"

namespace qv {
namespace {

int NotYet(CtlContext& ctx, const wchar_t* name) {
  std::wstring text = L"quorvanexctl ";
  text.append(name);
  text.append(L": not yet\n");
  ctx.Err(text);
  return kExitUsage;
}

}  // namespace

int RunTestMail(CtlContext& ctx, const CommandArgs&) { return NotYet(ctx, L"test-mail"); }
int RunTestAlert(CtlContext& ctx, const CommandArgs&) { return NotYet(ctx, L"test-alert"); }

}  // namespace qv
