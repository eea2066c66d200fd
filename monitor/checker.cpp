#include "checker.h"

#include "clock.h"
#include "log.h"
#include "messages.h"
#include "ping.h"
#include "process_runner.h"
#include "settings.h"
#include "system.h"
#include "text_util.h"
#include "wmi_connection.h"

namespace qv {
namespace {

// What one check keeps between cycles; the device and the ping check each
// have one, and a crossing is handled the same way for both.
struct Episode {
  std::uint32_t& errorCount;
  std::uint32_t& alertShown;
  std::uint32_t& mailCount;
};

void HandleCrossing(Checker& checker, bool isPing, std::int32_t threshold, Episode episode) {
  // Unsigned on purpose: a negative threshold in the INI file never alerts.
  if (!(episode.errorCount > static_cast<std::uint32_t>(threshold))) return;
  if (isPing) {
    WriteLog(msg::kPingThresholdExceeded);
  } else {
    WriteLog(msg::kDeviceThresholdExceeded);
  }

  if (checker.settings.screenAlertEnabled && episode.alertShown == 0) {
    const std::int64_t now = checker.ports.clock->Now();
    // Counted before the attempt: a failed alert is not retried in this episode.
    ++episode.alertShown;
    if (checker.ShowScreenAlert(isPing, now)) {
      if (isPing) {
        WriteLog(msg::kScreenAlertPing);
      } else {
        WriteLog(msg::kScreenAlertDevice);
      }
    }
  }

  const std::uint32_t limit = checker.settings.mailSendLimit;
  if (limit == 0) {
    episode.errorCount = 0;
  } else if (limit == 99 || episode.mailCount < limit) {
    if (checker.SendAlertMail(isPing)) {
      WriteLog(msg::kMailSent, checker.info.server);
      ++episode.mailCount;
      episode.errorCount = 0;
    } else {
      // The counter stays above the threshold, so the next cycle tries again.
      WriteLog(msg::kMailFailed, checker.info.server);
    }
  } else {
    episode.errorCount = 0;
  }
}

}  // namespace

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
  info.enabled = false;
  info.port = 0;
  info.server = ComputerName();
}

void Checker::RunCycle() {
  if (settings.deviceThreshold != 0) {
    std::unique_ptr<WmiConnection> wmi = ports.newWmiConnection();
    // A connection that cannot be made is neither a failure nor a success.
    if (wmi->Connect(info)) {
      std::wstring status;
      if (!wmi->QueryDeviceStatus(settings.hardwarePattern, status)) {
        ++deviceErrorCount;
      } else if (EqualsNoCase(status, L"OK")) {
        deviceAlertShown = 0;
        deviceMailCount = 0;
      } else {
        ++deviceErrorCount;
      }
    }
    wmi->Release();
  }

  if (settings.pingThreshold != 0) {
    bool answered = false;
    for (const QuorvanexServerInfo& entry : settings.servers) {
      // Servers switched off in the Configurator are not pinged.
      if (!entry.enabled) continue;
      const std::wstring address = entry.server;
      if (ports.pingAddress(address)) {
        pingMailCount = 0;
        pingAlertShown = 0;
        answered = true;
        break;
      }
    }
    if (!answered) ++pingErrorCount;
  }

  HandleCrossing(*this, false, settings.deviceThreshold,
                 Episode{deviceErrorCount, deviceAlertShown, deviceMailCount});
  HandleCrossing(*this, true, settings.pingThreshold,
                 Episode{pingErrorCount, pingAlertShown, pingMailCount});
}

}  // namespace qv
