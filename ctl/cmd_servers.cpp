#include <algorithm>

#include "common/format.h"
#include "common/text_util.h"
#include "configurator/configurator_settings.h"
#include "ctl/commands.h"
#include "ctl/settings_change.h"

namespace qv {
namespace {

// The number an operator knows a server by: N of its section [Quorvanex_N].
std::int64_t Number(const QuorvanexServerInfo& server) { return static_cast<std::int64_t>(server.index) + 1; }

int List(CtlContext& ctx, const ConfiguratorSettings& settings) {
  if (settings.servers.empty()) {
    ctx.Out(L"no servers in quorvanex.ini\n");
    return kExitOk;
  }
  std::size_t width = 7;
  for (const QuorvanexServerInfo& s : settings.servers) width = std::max(width, s.server.size());
  std::wstring text = L"N    switch  " + std::wstring(L"address").append(width - 7, L' ') + L"  display\n";
  for (const QuorvanexServerInfo& s : settings.servers) {
    std::wstring number = std::to_wstring(Number(s));
    number.resize(std::max<std::size_t>(number.size(), 4), L' ');
    std::wstring address = s.server;
    address.resize(width, L' ');
    text += number + L" " + (s.enabled ? L"on    " : L"off   ") + L"  " + address + L"  " + s.display + L"\n";
  }
  ctx.Out(text);
  return kExitOk;
}

std::wstring KnownNumbers(const ConfiguratorSettings& settings) {
  std::wstring known;
  for (const QuorvanexServerInfo& s : settings.servers) {
    if (!known.empty()) known += L", ";
    known += std::to_wstring(Number(s));
  }
  return known.empty() ? L"none" : known;
}

}  // namespace

int RunServers(CtlContext& ctx, const CommandArgs& args) {
  ConfiguratorSettings settings;
  LoadDialogSettings(settings, ctx.Directory());
  if (args.empty()) return List(ctx, settings);
  if (args[0] != L"on" && args[0] != L"off") return ctx.UsageError(L"servers: on or off, not " + args[0]);
  if (args.size() < 2) return ctx.UsageError(L"servers " + args[0] + L" needs the numbers of servers");
  const bool on = args[0] == L"on";

  // Every number is checked before anything is written.
  std::vector<std::size_t> chosen;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::optional<std::int64_t> n = ParseDigits(args[i], 10);
    auto found = std::find_if(settings.servers.begin(), settings.servers.end(),
                              [&](const QuorvanexServerInfo& s) { return n && Number(s) == *n; });
    if (found == settings.servers.end()) {
      ctx.Err(L"quorvanexctl servers: " + args[i] + L" is no server (the servers are " + KnownNumbers(settings) +
              L"); nothing changed\n");
      return kExitUsage;
    }
    chosen.push_back(static_cast<std::size_t>(found - settings.servers.begin()));
  }
  for (std::size_t i : chosen) settings.servers[i].enabled = on;
  if (const int rc = SaveLikeConfigurator(ctx, settings, L"servers"); rc != kExitOk) return rc;
  for (std::size_t i : chosen) {
    const QuorvanexServerInfo& s = settings.servers[i];
    ctx.Out(Format(L"server %d (%s) switched %s\n", Number(s), s.server, on ? L"on" : L"off"));
  }
  SayRestartNeeded(ctx);
  return kExitOk;
}

}  // namespace qv
