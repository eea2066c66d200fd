#pragma once
// The watch while it runs: the one Checker and its worker thread, with the
// stop signal that ends it.
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <thread>

#include "monitor/checks/checker.h"
#include "monitor/metrics/metrics_collector.h"

namespace qv {

class Clock;
struct MonitorSettings;

inline constexpr std::uint32_t kWorkerSleepMs = 1000;

// Waits a second, runs `cycle` after the first wait and then whenever more
// than `periodSeconds` have passed on the steady clock since the last cycle
// began, and leaves once a stop was requested: at once during the wait, or
// after the cycle.
void RunWorkerLoop(std::stop_token stop, Clock& clock, std::int64_t periodSeconds,
                   const std::function<void()>& cycle);

// The worker thread's procedure: the COM apartment, then the loop over the
// Checker's cycles with its interval; returns 0.
std::uint32_t WorkerLoop(Checker& checker, std::stop_token stop);

class Monitoring {
 public:
  // Writes the metrics file when it is switched on, logs the start of the
  // watch and starts the worker.
  Monitoring(const MonitorSettings& settings, CheckerPorts ports);
  // Stop(), when it has not been called.
  ~Monitoring();
  Monitoring(const Monitoring&) = delete;
  Monitoring& operator=(const Monitoring&) = delete;

  // Signals the stop and waits, without a time limit, for the worker to end;
  // then the metrics file says the Monitor is down.
  void Stop();

 private:
  // Before the Checker, which reports to it.
  std::unique_ptr<MetricsCollector> metrics_;
  Checker checker_;
  std::jthread worker_;
};

// The process's one Monitoring, over the process-wide settings.
void StartMonitoring();
void StartMonitoring(const MonitorSettings& settings, CheckerPorts ports);
// Ends and destroys it; nothing happens when none runs.
void StopMonitoring();

}  // namespace qv
