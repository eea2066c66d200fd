#pragma once
// The monitoring object: one worker thread that runs a check cycle every
// intervalMinutes, counts failures and raises alerts past the thresholds.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "server_info.h"

namespace qv {

struct MonitorSettings;
class WmiConnection;
class ProcessRunner;
class Clock;

// How long a mail program may run before it is stopped and counted as failed.
inline constexpr std::chrono::milliseconds kMailerWaitBound = std::chrono::seconds(300);

// What the cycle needs of the world; tests put fakes here.
struct CheckerPorts {
  std::function<bool(const std::wstring&)> pingAddress;
  std::function<std::unique_ptr<WmiConnection>()> newWmiConnection;
  ProcessRunner* processRunner = nullptr;
  Clock* clock = nullptr;
  std::chrono::milliseconds mailerWaitBound = kMailerWaitBound;
};

// The real probes, WMI, processes and clock of this platform.
CheckerPorts SystemCheckerPorts();

class Checker {
 public:
  Checker(const MonitorSettings& settings, CheckerPorts ports);
  Checker(const Checker&) = delete;
  Checker& operator=(const Checker&) = delete;

  void RunCycle();
  // The on-screen alert (msg.exe through WMI); `isPing` false = device kind.
  bool ShowScreenAlert(bool isPing, std::int64_t eventTime);
  // The mail alert through the external mailer.
  bool SendAlertMail(bool isPing);

  std::unique_ptr<std::thread> thread;
  std::atomic<std::int32_t> running{1};
  std::uint32_t pingErrorCount = 0;
  std::uint32_t deviceErrorCount = 0;
  QuorvanexServerInfo info;
  std::uint32_t pingMailCount = 0;
  std::uint32_t deviceMailCount = 0;
  std::uint32_t pingAlertShown = 0;
  std::uint32_t deviceAlertShown = 0;

  const MonitorSettings& settings;
  CheckerPorts ports;
};

// The worker thread's procedure; returns 0.
std::uint32_t WorkerLoop(Checker* checker);

// Creates the one Checker over the process-wide settings and starts its worker.
void StartMonitoring();
void StartMonitoring(const MonitorSettings& settings, CheckerPorts ports);
// Clears `running`, joins the worker without a time limit, destroys the Checker.
void StopMonitoring();

}  // namespace qv
