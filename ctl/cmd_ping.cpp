#include <chrono>

#include "common/format.h"
#include "common/ipv4_text.h"
#include "ctl/commands.h"
#include "monitor/checks/checker.h"
#include "monitor/checks/ping.h"
#include "monitor/settings.h"

namespace qv {
namespace {

// The prober never sends to these: false at once.
bool Pingable(const std::wstring& address) {
  const std::optional<Ipv4Octets> octets = ParseIpv4Text(address);
  return octets && !(octets->at(0) == 255 && octets->at(1) == 255 && octets->at(2) == 255 && octets->at(3) == 255);
}

}  // namespace

int RunPing(CtlContext& ctx, const CommandArgs& args) {
  if (!args.empty()) return ctx.UsageError(L"ping takes no arguments");
  MonitorSettings settings;
  LoadSettings(settings, ctx.Directory());
  const std::function<bool(const std::wstring&)> ping = SystemCheckerPorts().pingAddress;
  const std::optional<std::wstring> unavailable = PingUnavailableReason();

  bool anyOn = false;
  bool anyAnswered = false;
  for (const QuorvanexServerInfo& server : settings.servers) {
    std::wstring line = Format(L"%d  %s", server.index + 1, server.server);
    if (server.display != server.server) line += L" (" + server.display + L")";
    line += L": ";
    if (!server.enabled) {
      ctx.Out(line + L"switched off, not pinged\n");
      continue;
    }
    anyOn = true;
    if (unavailable) {
      ctx.Out(line + L"cannot ping: " + *unavailable + L"\n");
      continue;
    }
    if (!Pingable(server.server)) {
      ctx.Out(line + L"cannot ping: not an IPv4 address in dotted-decimal form\n");
      continue;
    }
    // Shown before the wait, which is up to 3 s for a silent server.
    ctx.Out(line);
    const auto began = std::chrono::steady_clock::now();
    const bool answered = ping(server.server);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began).count();
    anyAnswered = anyAnswered || answered;
    ctx.Out(answered ? Format(L"answered in %d ms\n", static_cast<std::int64_t>(ms))
                     : Format(L"no answer (%d ms)\n", static_cast<std::int64_t>(ms)));
  }
  if (!anyOn) ctx.Out(L"no server is switched on: the ping check counts an error every cycle\n");
  return anyAnswered ? kExitOk : 1;
}

}  // namespace qv
