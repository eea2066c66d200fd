// Start and stop of the one Checker and its worker thread.
#include <memory>
#include <thread>

#include "apartment.h"
#include "checker.h"
#include "clock.h"
#include "lifecycle.h"
#include "log.h"
#include "messages.h"
#include "settings.h"

namespace qv {
namespace {

std::unique_ptr<Checker>& TheChecker() {
  static std::unique_ptr<Checker> checker;
  return checker;
}

}  // namespace

void RunWorkerLoop(const std::atomic<std::int32_t>& running, Clock& clock, std::int64_t periodSeconds,
                   const std::function<void()>& cycle) {
  std::int64_t lastCycle = 0;
  for (;;) {
    clock.SleepMs(kWorkerSleepMs);
    const std::int64_t now = clock.Now();
    if (now - lastCycle > periodSeconds) {
      lastCycle = now;
      cycle();
    }
    if (running.load() == 0) break;
  }
}

std::uint32_t WorkerLoop(Checker* checker) {
  ComApartment apartment;
  const std::int64_t period = static_cast<std::int64_t>(checker->settings.intervalMinutes) * 60;
  Clock& clock = checker->ports.clock != nullptr ? *checker->ports.clock : SystemClock();
  RunWorkerLoop(checker->running, clock, period, [checker] { checker->RunCycle(); });
  return 0;
}

void StartMonitoring() { StartMonitoring(TheMonitorSettings(), SystemCheckerPorts()); }

void StartMonitoring(const MonitorSettings& settings, CheckerPorts ports) {
  std::unique_ptr<Checker>& slot = TheChecker();
  if (slot) return;  // one Checker per process
  slot = std::make_unique<Checker>(settings, std::move(ports));
  WriteLog(msg::kMonitoringStart);
  Checker* checker = slot.get();
  checker->thread = std::make_unique<std::thread>([checker] { WorkerLoop(checker); });
}

void StopMonitoring() {
  std::unique_ptr<Checker>& slot = TheChecker();
  if (!slot) return;
  slot->running.store(0);
  if (slot->thread && slot->thread->joinable()) slot->thread->join();
  slot->thread.reset();
  slot.reset();
}

}  // namespace qv
