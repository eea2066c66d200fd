#include "common/files.h"
#include "common/server_info.h"
#include "common/system.h"
#include "ctl/attached_process.h"
#include "ctl/commands.h"

namespace qv {

int RunTestMail(CtlContext& ctx, const CommandArgs& args) {
  if (!args.empty()) return ctx.UsageError(L"test-mail takes no arguments");
  const std::wstring mailer = JoinPath(ctx.Directory(), L"Ostrival.exe");
  std::wstring why;
  // The mail program prints the settings (no password), each step and the outcome itself.
  const std::optional<std::uint32_t> code =
      RunAttached(mailer, {L"--test", JoinPath(ctx.Directory(), kMailIni)}, ctx.Directory(), why);
  if (!code) {
    ctx.Err(L"quorvanexctl test-mail: cannot run " + mailer + L": " + why + L"\n");
    return 1;
  }
  return static_cast<int>(*code);
}

}  // namespace qv
