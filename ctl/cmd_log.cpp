#include <chrono>
#include <thread>

#include "common/profile.h"
#include "common/server_info.h"
#include "common/system.h"
#include "common/text_util.h"
#include "ctl/commands.h"
#include "ctl/log_tail.h"
#include "monitor/log/log_writer.h"

namespace qv {
namespace {

constexpr std::size_t kDefaultLines = 20;
constexpr auto kFollowPause = std::chrono::milliseconds(kLogPassIntervalMs);

void Print(CtlContext& ctx, const std::vector<std::wstring>& lines) {
  std::wstring text;
  for (const std::wstring& line : lines) text += line + L"\n";
  if (!text.empty()) ctx.Out(text);
}

}  // namespace

int RunLog(CtlContext& ctx, const CommandArgs& args) {
  std::size_t count = kDefaultLines;
  bool follow = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == L"-f") {
      follow = true;
    } else if (args[i].starts_with(L"-n")) {  // "-n N" or "-nN"
      const std::wstring value = args[i] == L"-n" ? (i + 1 < args.size() ? args[++i] : L"") : args[i].substr(2);
      const std::optional<std::int64_t> n = ParseDigits(value, 9);
      if (!n) return ctx.UsageError(L"log -n needs a number of lines, not \"" + value + L"\"");
      count = static_cast<std::size_t>(*n);
    } else {
      return ctx.UsageError(L"log: unknown argument " + args[i]);
    }
  }

  // Where the Monitor writes, read as the Monitor reads it; nothing else is needed.
  const std::wstring logDirectory =
      ReadLogDirectory(ProfileReader(JoinPath(ctx.Directory(), kConfigIni)), ctx.Directory());
  LogTail tail(logDirectory);
  const std::vector<std::wstring> lines = tail.Last(count);
  Print(ctx, lines);
  if (!follow) {
    if (lines.empty() && count > 0) ctx.Err(L"quorvanexctl log: no log lines in " + logDirectory + L"\n");
    return lines.empty() && count > 0 ? 1 : kExitOk;
  }
  // Until Ctrl-C, which ends the program.
  for (;;) {
    std::this_thread::sleep_for(kFollowPause);
    Print(ctx, tail.Next());
  }
}

}  // namespace qv
