// Start and stop of the one Checker and its worker thread.
#include "checker.h"
#include "log.h"
#include "messages.h"
#include "settings.h"

namespace qv {

std::uint32_t WorkerLoop(Checker* checker) {
  (void)checker;
  return 0;
}

void StartMonitoring() { StartMonitoring(TheMonitorSettings(), SystemCheckerPorts()); }
void StartMonitoring(const MonitorSettings&, CheckerPorts) { WriteLog(msg::kMonitoringStart); }
void StopMonitoring() {}

}  // namespace qv
