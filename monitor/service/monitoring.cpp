#include "monitor/service/monitoring.h"

#include <memory>

#include "common/clock.h"
#include "monitor/checks/com_apartment.h"
#include "monitor/log/log_writer.h"
#include "monitor/messages.h"
#include "monitor/settings.h"

namespace qv {
namespace {

std::unique_ptr<Monitoring>& TheMonitoring() {
  static std::unique_ptr<Monitoring> monitoring;
  return monitoring;
}

}  // namespace

void RunWorkerLoop(std::stop_token stop, Clock& clock, std::int64_t periodSeconds,
                   const std::function<void()>& cycle) {
  std::int64_t lastCycle = 0;
  for (;;) {
    // The stop ends the tick at once; the cycle it would have run is skipped.
    if (clock.WaitMs(kWorkerSleepMs, stop)) break;
    const std::int64_t now = clock.Now();
    if (now - lastCycle > periodSeconds) {
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
    : checker_(settings, std::move(ports)) {
  WriteLog(msg::kMonitoringStart);
  worker_ = std::jthread([this](std::stop_token stop) { WorkerLoop(checker_, std::move(stop)); });
}

Monitoring::~Monitoring() { Stop(); }

void Monitoring::Stop() {
  worker_.request_stop();
  if (worker_.joinable()) worker_.join();
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
