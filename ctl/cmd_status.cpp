#include "common/files.h"
#include "common/format.h"
#include "common/instance_lock.h"
#include "common/service_names.h"
#include "common/system.h"
#include "ctl/commands.h"
#include "ctl/log_tail.h"
#include "ctl/service_control.h"
#include "ctl/status_files.h"
#include "mailer/mail_log.h"
#include "monitor/messages.h"
#include "monitor/metrics/metrics_file.h"
#include "monitor/settings.h"

namespace qv {
namespace {

constexpr int kExitNotRunning = 3;
constexpr std::size_t kLogLinesShown = 10;
// How far back the log is searched for the start of a Monitor run by hand.
constexpr std::size_t kStartLineSearch = 5000;
constexpr wchar_t kTimeFormat[] = L"%Y/%m/%d %H:%M:%S";

// The stamp of the last start line of the log: when a Monitor run by hand began.
std::wstring LastStart(const std::wstring& logDirectory) {
  const std::vector<std::wstring> lines = LogTail(logDirectory).Last(kStartLineSearch);
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    for (const wchar_t* start : {msg::kConsoleStart, msg::kServiceStart}) {
      const std::wstring tail = std::wstring(L"|") + start;
      if (line->size() > tail.size() && line->ends_with(tail)) return line->substr(0, line->find(L'|'));
    }
  }
  return {};
}

// Says whether a Monitor run by hand holds this folder; true when one does.
bool ReportMonitorByHand(CtlContext& ctx, const MonitorSettings& settings) {
  if (!MonitorRunsIn(settings.exeDirectory)) {
    ctx.Out(L"no Monitor of " + settings.exeDirectory + L" runs\n");
    return false;
  }
  const std::wstring since = LastStart(settings.logDirectory);
  ctx.Out(L"a Monitor of " + settings.exeDirectory + L" runs" +
          (since.empty() ? std::wstring() : L" since " + since + L" (its start line in the log)") + L"\n");
  return true;
}

// Says how the service or Monitor stands; true when it runs.
bool ReportService(CtlContext& ctx, const MonitorSettings& settings) {
  const ServiceStatus service = QueryMonitorService();
  if (service.answered && service.installed) {
    std::wstring line = std::wstring(L"service ") + kMonitorServiceName + L": " + service.state;
    if (service.since) line += L" since " + FormatLocalTime(*service.since, kTimeFormat);
    ctx.Out(line + L"\n");
    // A stopped service with a Monitor run by hand in its folder would not
    // start again; the operator learns why. The service still does not run.
    if (!service.running) static_cast<void>(ReportMonitorByHand(ctx, settings));
    return service.running;
  }
  ctx.Out(std::wstring(L"service ") + kMonitorServiceName + L": " +
          (service.answered ? service.state : service.problem) + L"\n");
  // Without a service, a Monitor run by hand in this folder counts.
  return ReportMonitorByHand(ctx, settings);
}

void ReportMetrics(CtlContext& ctx, const MonitorSettings& settings) {
  if (settings.metricsDirectory.empty()) {
    ctx.Out(L"metrics: off (config.ini [Metrics] TextfileDir)\n");
    return;
  }
  const std::wstring path = JoinPath(settings.metricsDirectory, kMetricsFileName);
  const std::optional<std::string> text = ReadWholeFile(path);
  if (!text) {
    ctx.Out(L"metrics: " + path + L" cannot be read (not written yet?)\n");
    return;
  }
  std::wstring out = L"metrics (" + path + L"):\n";
  for (const std::wstring& line : DescribeMetrics(ParseMetricsText(*text))) out += L"  " + line + L"\n";
  ctx.Out(out);
}

void ReportMail(CtlContext& ctx, const MonitorSettings& settings) {
  std::optional<MailLogEntry> failure;
  // The newest file first; the rotated one holds the lines before.
  const std::wstring current = JoinPath(settings.logDirectory, mailer::kMailLogName);
  for (const std::wstring& path : {current, current + L".1"}) {
    if (std::optional<std::string> text = ReadWholeFile(path)) {
      failure = LastMailFailure(*text);
      if (failure) break;
    }
  }
  if (!failure) {
    ctx.Out(L"last mail failure: none recorded\n");
    return;
  }
  // Settings the mail program could not read name no recipient.
  std::wstring line = Format(L"last mail failure: %s, exit code %s", failure->time, failure->exitCode);
  if (!failure->recipients.empty()) line += L", to " + failure->recipients;
  line += L": " + failure->reason;
  if (!failure->reply.empty()) line += L" (server: " + failure->reply + L")";
  ctx.Out(line + L"\n");
}

}  // namespace

int RunStatus(CtlContext& ctx, const CommandArgs& args) {
  if (!args.empty()) return ctx.UsageError(L"status takes no arguments");
  MonitorSettings settings;
  LoadSettings(settings, ctx.Directory());

  const bool running = ReportService(ctx, settings);
  ReportMetrics(ctx, settings);
  ReportMail(ctx, settings);
  const std::vector<std::wstring> lines = LogTail(settings.logDirectory).Last(kLogLinesShown);
  std::wstring out = L"last log lines (" + JoinPath(settings.logDirectory, L"log.txt") + L"):\n";
  for (const std::wstring& line : lines) out += L"  " + line + L"\n";
  if (lines.empty()) out += L"  (none)\n";
  ctx.Out(out);
  return running ? kExitOk : kExitNotRunning;
}

}  // namespace qv
