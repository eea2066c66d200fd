#include "monitor/service/monitoring.h"

#include <memory>
#include <optional>

#include "common/clock.h"
#include "monitor/alerts/mail_alert.h"
#include "monitor/log/log_writer.h"
#include "monitor/messages.h"
#include "monitor/metrics/metrics_file.h"
#include "monitor/settings.h"
#include "monitor/wmi/com_apartment.h"

namespace qv {
namespace {

std::unique_ptr<Monitoring>& TheMonitoring() {
  static std::unique_ptr<Monitoring> monitoring;
  return monitoring;
}

CheckerPorts ReportingTo(CheckerPorts ports, CycleObserver* observer) {
  if (observer != nullptr) ports.observer = observer;
  return ports;
}

}  // namespace

void RunWorkerLoop(std::stop_token stop, Clock& clock, std::int64_t periodSeconds,
                   const std::function<void()>& cycle) {
  // Whole seconds of the steady clock: a wall clock set back or forward
  // neither stops the cycles nor bunches them up. The first test always runs one.
  std::optional<std::int64_t> lastCycle;
  for (;;) {
    // The stop ends the tick at once; the cycle it would have run is skipped.
    if (clock.WaitMs(kWorkerSleepMs, stop)) break;
    const std::int64_t now = clock.SteadyMs() / 1000;
    if (!lastCycle || now - *lastCycle > periodSeconds) {
      lastCycle = now;
      cycle();
    }
    if (stop.stop_requested()) break;
  }
}

std::uint32_t WorkerLoop(Checker& checker, std::stop_token stop) {
  const ComApartment apartment;
  const std::int64_t period = static_cast<std::int64_t>(checker.Settings().intervalMinutes) * 60;
  RunWorkerLoop(stop, checker.GetClock(), period, [&checker, stop] { checker.RunCycle(stop); });
  return 0;
}

Monitoring::Monitoring(const MonitorSettings& settings, CheckerPorts ports)
    : metrics_(StartMetrics(settings, (ports.clock ? *ports.clock : SystemClock()).Now())),
      checker_(settings, ReportingTo(std::move(ports), metrics_.get())) {
  // A run killed while it sent a mail left the password behind.
  RemoveLeftoverMailCopy(settings, checker_.Info().index);
  WriteLog(msg::kMonitoringStart);
  worker_ = std::jthread([this](std::stop_token stop) { WorkerLoop(checker_, std::move(stop)); });
}

Monitoring::~Monitoring() { Stop(); }

void Monitoring::Stop() {
  worker_.request_stop();
  if (!worker_.joinable()) return;
  worker_.join();
  if (metrics_) metrics_->Publish(false);
}

void StartMonitoring() { StartMonitoring(TheMonitorSettings(), SystemCheckerPorts()); }

void StartMonitoring(const MonitorSettings& settings, CheckerPorts ports) {
  std::unique_ptr<Monitoring>& slot = TheMonitoring();
  if (slot) return;  // one watch per process
  slot = std::make_unique<Monitoring>(settings, std::move(ports));
}

void StopMonitoring() {
  std::unique_ptr<Monitoring>& slot = TheMonitoring();
  if (!slot) return;
  slot->Stop();
  slot.reset();
}

}  // namespace qv
