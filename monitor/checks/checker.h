#pragma once
// The check cycle: counts the failures of each check and raises alerts past
// the thresholds. Monitoring owns the Checker and runs a cycle every
// intervalMinutes on its thread.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

#include "common/server_info.h"
#include "monitor/alerts/mail_alert.h"
#include "monitor/checks/cycle_observer.h"

namespace qv {

struct MonitorSettings;
class WmiConnection;
class ProcessRunner;
class Clock;

// What the cycle needs of the world; tests put fakes here.
struct CheckerPorts {
  std::function<bool(const std::wstring&)> pingAddress;
  std::function<std::unique_ptr<WmiConnection>()> newWmiConnection;
  ProcessRunner* processRunner = nullptr;
  Clock* clock = nullptr;
  std::chrono::milliseconds mailerWaitBound = kMailerWaitBound;
  // Told what each cycle does; none when null.
  CycleObserver* observer = nullptr;
};

// The real probes, WMI, processes and clock of this platform.
CheckerPorts SystemCheckerPorts();

// What one check keeps between cycles. An episode of failures ends when the
// check succeeds, which clears `mailCount` and `alertShown`; `errorCount` is
// cleared only when a crossing of the threshold has been handled.
struct CheckState {
  std::uint32_t errorCount = 0;
  std::uint32_t mailCount = 0;  // mails sent in this episode
  bool alertShown = false;      // the screen alert was tried in this episode
};

class Checker {
 public:
  Checker(const MonitorSettings& settings, CheckerPorts ports);
  Checker(const Checker&) = delete;
  Checker& operator=(const Checker&) = delete;

  // One cycle. Once `stop` is requested it starts nothing new: the ping sweep
  // ends before the next server and counts nothing, and no alert begins; an
  // alert already under way finishes.
  void RunCycle(std::stop_token stop = {});
  // The on-screen alert (msg.exe through WMI).
  bool ShowScreenAlert(CheckKind kind, std::int64_t eventTime);
  // The mail alert through the external mailer.
  bool SendAlertMail(CheckKind kind);

  // The Checker's own record: this computer.
  const QuorvanexServerInfo& Info() const { return info_; }
  const CheckState& PingState() const { return ping_; }
  const CheckState& DeviceState() const { return device_; }
  const MonitorSettings& Settings() const { return settings_; }
  Clock& GetClock() const { return *ports_.clock; }

 private:
  void CheckDevice();
  void CheckPing(const std::stop_token& stop);
  void HandleCrossing(CheckKind kind, std::int32_t threshold, CheckState& state);

  const MonitorSettings& settings_;
  CheckerPorts ports_;
  const QuorvanexServerInfo info_;
  CheckState ping_;
  CheckState device_;
};

}  // namespace qv
