#include "monitor/checks/checker.h"

#include "common/clock.h"
#include "common/process_runner.h"
#include "common/system.h"
#include "common/text_util.h"
#include "monitor/alerts/screen_alert.h"
#include "monitor/checks/ping.h"
#include "monitor/log/log_writer.h"
#include "monitor/messages.h"
#include "monitor/settings.h"
#include "monitor/wmi/wmi_connection.h"

namespace qv {
namespace {

CycleObserver& NoObserver() {
  static CycleObserver none;
  return none;
}

// The Checker's own record stands for this computer: the device check and
// the screen alert connect to it, the mail log lines name its server, and its
// index names the mail copy (mail_12345.ini).
constexpr std::int32_t kMailCopyIndex = 12345;

QuorvanexServerInfo ThisComputer() {
  QuorvanexServerInfo info;
  info.index = kMailCopyIndex;
  info.enabled = false;
  info.port = 0;
  info.server = ComputerName();
  return info;
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

Checker::Checker(const MonitorSettings& settings, CheckerPorts ports)
    : settings_(settings), ports_(std::move(ports)), info_(ThisComputer()) {
  if (ports_.clock == nullptr) ports_.clock = &SystemClock();
  if (ports_.observer == nullptr) ports_.observer = &NoObserver();
}

void Checker::RunCycle(std::stop_token stop) {
  CycleObserver& observer = *ports_.observer;
  observer.CycleStarted(ports_.clock->Now());
  if (settings_.deviceThreshold != 0) CheckDevice();
  if (settings_.pingThreshold != 0) CheckPing(stop);
  // At stop no new alert begins: the stop waits only for one under way.
  if (!stop.stop_requested()) HandleCrossing(CheckKind::Device, settings_.deviceThreshold, device_);
  if (!stop.stop_requested()) HandleCrossing(CheckKind::Ping, settings_.pingThreshold, ping_);
  observer.CycleEnded(device_.errorCount, ping_.errorCount);
}

void Checker::CheckDevice() {
  std::unique_ptr<WmiConnection> wmi = ports_.newWmiConnection();
  // A connection that cannot be made is neither a failure nor a success.
  const bool connected = wmi->Connect(info_);
  ports_.observer->WmiConnected(connected);
  if (connected) {
    std::wstring status;
    const bool healthy = wmi->QueryDeviceStatus(settings_.hardwarePattern, status) &&
                         EqualsNoCase(status, L"OK");
    if (healthy) {
      device_.alertShown = false;
      device_.mailCount = 0;
    } else {
      ++device_.errorCount;
    }
    ports_.observer->CheckCounted(CheckKind::Device, healthy);
  }
  wmi->Release();
}

void Checker::CheckPing(const std::stop_token& stop) {
  for (const QuorvanexServerInfo& entry : settings_.servers) {
    // Servers switched off in the Configurator are not pinged.
    if (!entry.enabled) continue;
    // Each silent server costs a 3 s time-out: a stop does not wait for the
    // rest, and a sweep cut short is neither a failure nor a success.
    if (stop.stop_requested()) return;
    const std::wstring address = entry.server;
    const bool answered = ports_.pingAddress(address);
    ports_.observer->PingAnswered(address, answered);
    if (answered) {
      ping_.mailCount = 0;
      ping_.alertShown = false;
      ports_.observer->CheckCounted(CheckKind::Ping, true);
      return;
    }
  }
  ++ping_.errorCount;
  ports_.observer->CheckCounted(CheckKind::Ping, false);
}

void Checker::HandleCrossing(CheckKind kind, std::int32_t threshold, CheckState& state) {
  // Unsigned on purpose: a negative threshold in the INI file never alerts.
  if (!(state.errorCount > static_cast<std::uint32_t>(threshold))) return;
  if (kind == CheckKind::Ping) {
    WriteLog(msg::kPingThresholdExceeded);
  } else {
    WriteLog(msg::kDeviceThresholdExceeded);
  }
  CycleObserver& observer = *ports_.observer;
  observer.ThresholdCrossed(kind);

  if (settings_.screenAlertEnabled && !state.alertShown) {
    const std::int64_t now = ports_.clock->Now();
    // Set before the attempt: a failed alert is not retried in this episode.
    state.alertShown = true;
    const bool shown = ShowScreenAlert(kind, now);
    if (shown) {
      if (kind == CheckKind::Ping) {
        WriteLog(msg::kScreenAlertPing);
      } else {
        WriteLog(msg::kScreenAlertDevice);
      }
    }
    observer.ScreenAlertTried(kind, shown);
  }

  const std::uint32_t limit = settings_.mailSendLimit;
  if (limit == 0) {
    state.errorCount = 0;
  } else if (limit == kMailSendNoLimit || state.mailCount < limit) {
    const bool sent = SendAlertMail(kind);
    if (sent) {
      WriteLog(msg::kMailSent, info_.server);
      ++state.mailCount;
      state.errorCount = 0;
    } else {
      // The counter stays above the threshold, so the next cycle tries again.
      WriteLog(msg::kMailFailed, info_.server);
    }
    observer.MailTried(kind, sent);
  } else {
    state.errorCount = 0;
  }
}

bool Checker::ShowScreenAlert(CheckKind kind, std::int64_t eventTime) {
  std::unique_ptr<WmiConnection> wmi = ports_.newWmiConnection();
  return ShowScreenAlertThroughWmi(*wmi, info_, settings_, kind, eventTime);
}

bool Checker::SendAlertMail(CheckKind kind) {
  return SendMailThroughMailer(settings_, info_.index, kind, *ports_.processRunner,
                               ports_.mailerWaitBound);
}

}  // namespace qv
