#include "checker.h"

#include "clock.h"
#include "log.h"
#include "messages.h"
#include "ping.h"
#include "process_runner.h"
#include "settings.h"
#include "system.h"
#include "wmi_connection.h"

namespace qv {

CheckerPorts SystemCheckerPorts() {
  CheckerPorts ports;
  ports.pingAddress = PingAddress;
  ports.newWmiConnection = CreateWmiConnection;
  ports.processRunner = &SystemProcessRunner();
  ports.clock = &SystemClock();
  return ports;
}

Checker::Checker(const MonitorSettings& s, CheckerPorts p) : settings(s), ports(std::move(p)) {
  info.index = 12345;
  info.server = ComputerName();
}

void Checker::RunCycle() {}

}  // namespace qv
