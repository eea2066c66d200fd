#include "monitor/service/service_run.h"

#include <thread>
#include <utility>

#include "common/clock.h"
#include "common/service_names.h"

namespace qv {
namespace {

constexpr std::uint32_t kStartWaitHintMs = 30000;
constexpr std::uint32_t kStopWaitHintMs = 3000;
// While the stop sequence waits (for an alert under way, for a locked log
// file), STOP_PENDING is reported again this often with the next checkpoint,
// well within the wait hint.
constexpr std::uint32_t kStopCheckpointMs = 1000;
// Main is woken by STOP at once; this only bounds one wait.
constexpr std::uint32_t kStopWaitMs = 60000;

}  // namespace

ServiceRun::ServiceRun(ServiceHost& host, Clock& clock, ServiceSequences sequences, std::function<bool()> admit)
    : host_(host), clock_(clock), sequences_(std::move(sequences)), admit_(std::move(admit)) {}

bool ServiceRun::Run() { return host_.RunDispatcher(kMonitorServiceName, *this); }

void ServiceRun::Main() {
  host_.RegisterControl(kMonitorServiceName);
  Report(kServiceStartPending, 1, kStartWaitHintMs);
  if (admit_ && !admit_()) {
    refused_.store(true);
    {
      std::lock_guard<std::mutex> hold(statusLock_);
      status_.win32ExitCode = kErrorServiceAlreadyRunning;
    }
    Report(kServiceStopped, 0, 0);
    return;
  }
  Report(kServiceRunning, 0, 0);
  sequences_.start();
  const std::stop_token stop = stop_.get_token();
  while (!clock_.WaitMs(kStopWaitMs, stop)) {
  }
  StopReportingProgress();
  Report(kServiceStopped, 0, 0);
}

void ServiceRun::Control(std::uint32_t control) {
  switch (control) {
    case kServiceControlStop: {
      std::lock_guard<std::mutex> hold(statusLock_);
      // A second STOP must not take the checkpoint back.
      if (status_.currentState != kServiceStopPending) {
        status_.currentState = kServiceStopPending;
        status_.checkPoint = 0;
        status_.waitHint = kStopWaitHintMs;
      }
      host_.ReportStatus(status_);
    }
      stop_.request_stop();
      break;
    case kServiceControlInterrogate: {
      std::lock_guard<std::mutex> hold(statusLock_);
      host_.ReportStatus(status_);
    }
      break;
    default:
      break;
  }
}

void ServiceRun::Report(std::uint32_t state, std::uint32_t checkPoint, std::uint32_t waitHint) {
  std::lock_guard<std::mutex> hold(statusLock_);
  status_.currentState = state;
  status_.checkPoint = checkPoint;
  status_.waitHint = waitHint;
  host_.ReportStatus(status_);
}

// The stop sequence, with STOP_PENDING reported anew every second while it
// lasts, so that the service manager never takes a long stop for a hang.
void ServiceRun::StopReportingProgress() {
  std::stop_source finished;
  std::jthread stopping([this, &finished] {
    sequences_.stop();
    finished.request_stop();
  });
  std::uint32_t checkPoint = 0;
  while (!clock_.WaitMs(kStopCheckpointMs, finished.get_token())) {
    Report(kServiceStopPending, ++checkPoint, kStopWaitHintMs);
  }
}

}  // namespace qv
