// check: the settings the Monitor would start with, then one line per finding.
#include "common/format.h"
#include "ctl/commands.h"
#include "ctl/config_check.h"
#include "monitor/checks/ping.h"
#include "monitor/wmi/wql.h"

namespace qv {
namespace {

constexpr int kExitFindings = 1;
constexpr int kExitUnreadable = 2;

std::wstring Row(std::wstring_view label, std::wstring_view value) {
  std::wstring line = L"  ";
  line.append(label);
  line.append(label.size() < 20 ? 20 - label.size() : 1, L' ');
  line.append(value);
  line.append(L"\n");
  return line;
}

std::wstring CheckState(std::int32_t threshold, const wchar_t* check) {
  return threshold == 0 ? Format(L"0 (%s check off)", check) : Format(L"%d (%s check on)", threshold, check);
}

std::wstring DescribeSettings(const ConfigCheck& check) {
  const MonitorSettings& s = check.settings;
  std::wstring text = Format(L"Settings the Monitor would start with, from %s:\n", s.exeDirectory);
  text += Row(L"interval", s.intervalMinutes == 0 ? std::wstring(L"0 (a cycle every second)")
                                                  : Format(L"%d minutes", s.intervalMinutes));
  text += Row(L"ping threshold", CheckState(s.pingThreshold, L"ping"));
  text += Row(L"device threshold", CheckState(s.deviceThreshold, L"device"));
  text += Row(L"log directory", s.logDirectory);
  text += Row(L"Hardware", check.hardware.empty() ? std::wstring(L"(empty)") : check.hardware);
  text += Row(L"device query", DeviceQueryText(s.hardwarePattern));
  std::size_t on = 0;
  for (const QuorvanexServerInfo& info : s.servers) on += info.enabled ? 1 : 0;
  text += Row(L"servers", Format(L"%u, %u switched on", s.servers.size(), on));
  for (const QuorvanexServerInfo& info : s.servers) {
    std::wstring line = Format(L"    [Quorvanex_%d] %s %s", info.index + 1, info.enabled ? L"on " : L"off",
                               info.server);
    if (info.display != info.server) line += Format(L" (%s)", info.display);
    text += line + L"\n";
  }
  std::wstring mail;
  if (s.mailSendLimit == 0) {
    mail = L"off";
  } else if (s.mailSendLimit == kMailSendNoLimit) {
    mail = L"on, no limit per error episode";
  } else {
    mail = Format(L"on, at most %u per error episode", s.mailSendLimit);
  }
  text += Row(L"mail", mail);
  text += Row(L"on-screen alert", s.screenAlertEnabled ? L"on" : L"off");
  text += Row(L"metrics directory", s.metricsDirectory.empty() ? std::wstring(L"none (no metrics file)")
                                                               : s.metricsDirectory);
  return text;
}

}  // namespace

int RunCheck(CtlContext& ctx, const CommandArgs& args) {
  if (!args.empty()) return ctx.UsageError(L"check takes no arguments");
  CheckMachine machine;
  machine.pingRefusal = PingUnavailableReason();
  const ConfigCheck check = CheckConfiguration(ctx.Directory(), machine);

  std::wstring text = DescribeSettings(check);
  text += L"\n";
  if (check.findings.empty()) {
    text += L"No findings.\n";
  } else {
    text += L"Findings:\n";
    for (const ConfigFinding& finding : check.findings) text += FormatFinding(finding) + L"\n";
    text += Format(L"%u finding%s.\n", check.findings.size(), check.findings.size() == 1 ? L"" : L"s");
  }
  ctx.Out(text);
  if (check.unreadable) return kExitUnreadable;
  return check.findings.empty() ? kExitOk : kExitFindings;
}

}  // namespace qv
