#include "monitor/metrics/metrics_collector.h"

#include <utility>

#include "common/text_util.h"
#include "monitor/settings.h"

namespace qv {
namespace {

std::chrono::nanoseconds SteadyClockNow() { return std::chrono::steady_clock::now().time_since_epoch(); }

MetricSample Sample(double value, std::vector<std::string> labelValues = {}) {
  return MetricSample{std::move(labelValues), value};
}

double Flag(bool value) { return value ? 1 : 0; }

}  // namespace

MetricsCollector::MetricsCollector(const MonitorSettings& settings, MetricsIdentity identity, Sink sink,
                                   SteadyNow steadyNow)
    : settings_(settings),
      identity_(std::move(identity)),
      sink_(std::move(sink)),
      steadyNow_(steadyNow ? std::move(steadyNow) : SteadyNow(SteadyClockNow)) {}

void MetricsCollector::CycleStarted(std::int64_t startTime) {
  ++cycles_;
  lastCycleStart_ = startTime;
  cycleBegan_ = steadyNow_();
  // Servers not tried in this cycle drop out of the file.
  pingAnswers_.clear();
}

void MetricsCollector::WmiConnected(bool connected) { wmiConnected_ = connected; }

void MetricsCollector::PingAnswered(const std::wstring& server, bool answered) {
  pingAnswers_[server] = answered;
}

void MetricsCollector::CheckCounted(CheckKind check, bool healthy) {
  CheckCounters& counters = Of(check);
  counters.healthy = healthy;
  if (!healthy) ++counters.failures;
}

void MetricsCollector::ThresholdCrossed(CheckKind check) { ++Of(check).crossings; }

void MetricsCollector::ScreenAlertTried(CheckKind check, bool shown) {
  ++(shown ? Of(check).alertsShown : Of(check).alertsFailed);
}

void MetricsCollector::MailTried(CheckKind check, bool sent) {
  ++(sent ? Of(check).mailsSent : Of(check).mailsFailed);
}

void MetricsCollector::CycleEnded(std::uint32_t deviceErrorCount, std::uint32_t pingErrorCount) {
  const std::chrono::duration<double> lasted = steadyNow_() - cycleBegan_;
  lastCycleSeconds_ = lasted.count();
  device_.errorCount = deviceErrorCount;
  ping_.errorCount = pingErrorCount;
  Publish(true);
}

void MetricsCollector::Publish(bool up) {
  if (sink_) sink_(Render(up));
}

const std::string& MetricsCollector::Render(bool up) {
  families_.clear();
  auto family = [this](std::string_view name, MetricType type, std::string_view help,
                       std::vector<std::string_view> labelNames = {}) -> std::vector<MetricSample>& {
    families_.push_back(MetricFamily{name, type, help, std::move(labelNames), {}});
    return families_.back().samples;
  };
  constexpr MetricType kGauge = MetricType::Gauge;
  constexpr MetricType kCounter = MetricType::Counter;

  family("quorvanex_up", kGauge, "1 while the Monitor runs, 0 after an orderly stop.").push_back(Sample(Flag(up)));
  family("quorvanex_info", kGauge, "The Monitor's computer and version.", {"computer", "version"})
      .push_back(Sample(1, {WideToUtf8(identity_.computer), identity_.version}));
  family("quorvanex_start_time_seconds", kGauge, "Start of the Monitor, seconds since 1970.")
      .push_back(Sample(static_cast<double>(identity_.startTime)));
  family("quorvanex_cycles_total", kCounter, "Check cycles run.").push_back(Sample(static_cast<double>(cycles_)));
  if (lastCycleStart_) {
    family("quorvanex_last_cycle_timestamp_seconds", kGauge, "Start of the last check cycle, seconds since 1970.")
        .push_back(Sample(static_cast<double>(*lastCycleStart_)));
  }
  if (lastCycleSeconds_) {
    family("quorvanex_last_cycle_duration_seconds", kGauge, "How long the last check cycle took.")
        .push_back(Sample(*lastCycleSeconds_));
  }
  if (wmiConnected_) {
    family("quorvanex_device_wmi_connected", kGauge, "1 when the last WMI connection of the device check was made.")
        .push_back(Sample(Flag(*wmiConnected_)));
  }
  std::vector<MetricSample> answered;
  for (const auto& [server, yes] : pingAnswers_) answered.push_back(Sample(Flag(yes), {WideToUtf8(server)}));
  family("quorvanex_ping_answered", kGauge, "1 when the server answered the ping of the last cycle, 0 when not.",
         {"server"}) = std::move(answered);

  std::vector<MetricSample> enabled, threshold, healthy, errorCount, failures, crossings, alerts, mails;
  const std::pair<CheckKind, std::int32_t> checks[] = {{CheckKind::Device, settings_.deviceThreshold},
                                                       {CheckKind::Ping, settings_.pingThreshold}};
  for (const auto& [kind, limit] : checks) {
    const std::string name = kind == CheckKind::Ping ? "ping" : "device";
    const CheckCounters& c = Of(kind);
    enabled.push_back(Sample(Flag(limit != 0), {name}));
    threshold.push_back(Sample(limit, {name}));
    if (c.healthy) healthy.push_back(Sample(Flag(*c.healthy), {name}));
    errorCount.push_back(Sample(c.errorCount, {name}));
    failures.push_back(Sample(static_cast<double>(c.failures), {name}));
    crossings.push_back(Sample(static_cast<double>(c.crossings), {name}));
    alerts.push_back(Sample(static_cast<double>(c.alertsShown), {name, "shown"}));
    alerts.push_back(Sample(static_cast<double>(c.alertsFailed), {name, "failed"}));
    mails.push_back(Sample(static_cast<double>(c.mailsSent), {name, "sent"}));
    mails.push_back(Sample(static_cast<double>(c.mailsFailed), {name, "failed"}));
  }
  family("quorvanex_check_enabled", kGauge, "1 when the check's threshold is not 0.", {"check"}) = std::move(enabled);
  family("quorvanex_check_threshold", kGauge, "Failures the check counts before it alerts at the next.",
         {"check"}) = std::move(threshold);
  family("quorvanex_check_healthy", kGauge, "1 when the check's last counted result was healthy, 0 when it failed.",
         {"check"}) = std::move(healthy);
  family("quorvanex_check_consecutive_errors", kGauge, "The check's error counter as the last cycle left it.",
         {"check"}) = std::move(errorCount);
  family("quorvanex_check_failures_total", kCounter, "Failed checks.", {"check"}) = std::move(failures);
  family("quorvanex_threshold_crossings_total", kCounter, "Threshold lines logged.", {"check"}) =
      std::move(crossings);
  family("quorvanex_screen_alerts_total", kCounter, "On-screen alerts by result.", {"check", "result"}) =
      std::move(alerts);
  family("quorvanex_mails_total", kCounter, "Alert mails by result.", {"check", "result"}) = std::move(mails);
  RenderFamilies(families_, text_);
  return text_;
}

}  // namespace qv
