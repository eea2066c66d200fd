#pragma once
// The watch while it runs: the one Checker and its worker thread, with the
// stop signal that ends it.
#include <cstdint>
#include <functional>
#include <stop_token>
#include <thread>

#include "monitor/checks/checker.h"

namespace qv {

class Clock;
struct MonitorSettings;

inline constexpr std::uint32_t kWorkerSleepMs = 1000;

// Waits a second, runs `cycle` when more than `periodSeconds` have passed
// since the last cycle began (the first cycle counts from 1970), and leaves
// once a stop was requested: at once during the wait, or after the cycle.
void RunWorkerLoop(std::stop_token stop, Clock& clock, std::int64_t periodSeconds,
                   const std::function<void()>& cycle);

// The worker thread's procedure: the COM apartment, then the loop over the
// Checker's cycles with its interval; returns 0.
std::uint32_t WorkerLoop(Checker& checker, std::stop_token stop);

class Monitoring {
 public:
  // Logs the start of the watch and starts the worker.
  Monitoring(const MonitorSettings& settings, CheckerPorts ports);
  // Stop(), when it has not been called.
  ~Monitoring();
  Monitoring(const Monitoring&) = delete;
  Monitoring& operator=(const Monitoring&) = delete;

  // Signals the stop and waits, without a time limit, for the worker to end.
  void Stop();

 private:
  Checker checker_;
  std::jthread worker_;
};

// The process's one Monitoring, over the process-wide settings.
void StartMonitoring();
void StartMonitoring(const MonitorSettings& settings, CheckerPorts ports);
// Ends and destroys it; nothing happens when none runs.
void StopMonitoring();

}  // namespace qv
