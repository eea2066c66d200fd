#pragma once
// The Monitor's state as the metrics file shows it: kept from what the check
// cycle reports, rendered in the Prometheus text format and handed to a sink
// (the file) at the start, after every cycle and at the stop.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/checks/cycle_observer.h"
#include "monitor/metrics/prometheus_text.h"

namespace qv {

struct MonitorSettings;

// What the file says of the Monitor itself.
struct MetricsIdentity {
  std::wstring computer;
  std::string version;
  std::int64_t startTime = 0;  // seconds since 1970
};

class MetricsCollector final : public CycleObserver {
 public:
  using Sink = std::function<void(std::string_view text)>;
  // A monotonic time for cycle durations.
  using SteadyNow = std::function<std::chrono::nanoseconds()>;

  // An empty `steadyNow` takes std::chrono::steady_clock.
  MetricsCollector(const MonitorSettings& settings, MetricsIdentity identity, Sink sink,
                   SteadyNow steadyNow = nullptr);

  void CycleStarted(std::int64_t startTime) override;
  void WmiConnected(bool connected) override;
  void PingAnswered(const std::wstring& server, bool answered) override;
  void CheckCounted(CheckKind check, bool healthy) override;
  void ThresholdCrossed(CheckKind check) override;
  void ScreenAlertTried(CheckKind check, bool shown) override;
  void MailTried(CheckKind check, bool sent) override;
  // Also publishes the new state.
  void CycleEnded(std::uint32_t deviceErrorCount, std::uint32_t pingErrorCount) override;

  // Hands the text for the state now to the sink; `up` is false only for the
  // last one, at an orderly stop.
  void Publish(bool up);
  // The text for the state now.
  const std::string& Render(bool up);

 private:
  struct CheckCounters {
    std::optional<bool> healthy;  // none before the first counted result
    std::uint32_t errorCount = 0;
    std::uint64_t failures = 0;
    std::uint64_t crossings = 0;
    std::uint64_t alertsShown = 0;
    std::uint64_t alertsFailed = 0;
    std::uint64_t mailsSent = 0;
    std::uint64_t mailsFailed = 0;
  };
  CheckCounters& Of(CheckKind check) { return check == CheckKind::Ping ? ping_ : device_; }

  const MonitorSettings& settings_;
  MetricsIdentity identity_;
  Sink sink_;
  SteadyNow steadyNow_;

  std::uint64_t cycles_ = 0;
  std::optional<std::int64_t> lastCycleStart_;
  std::optional<double> lastCycleSeconds_;
  std::chrono::nanoseconds cycleBegan_{0};
  std::optional<bool> wmiConnected_;
  std::map<std::wstring, bool> pingAnswers_;  // the last cycle's, by server
  CheckCounters device_;
  CheckCounters ping_;

  // Kept between renders so that a render reuses their memory.
  std::vector<MetricFamily> families_;
  std::string text_;
};

}  // namespace qv
