#pragma once
// The Monitor as a service: its states as the service manager sees them,
// from the registration to STOPPED, around the start and stop sequences.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stop_token>

#include "monitor/service/service_host.h"

namespace qv {

class Clock;

struct ServiceSequences {
  std::function<void()> start;
  std::function<void()> stop;
};

class ServiceRun final : private ServiceCallbacks {
 public:
  // `admit` is asked before RUNNING is reported; false ends the start at
  // once with STOPPED and ERROR_SERVICE_ALREADY_RUNNING. None: always admitted.
  ServiceRun(ServiceHost& host, Clock& clock, ServiceSequences sequences, std::function<bool()> admit = {});
  ServiceRun(const ServiceRun&) = delete;
  ServiceRun& operator=(const ServiceRun&) = delete;

  // Hands the process to the service manager; returns when the service has
  // ended, false at once when no service manager started the process.
  bool Run();
  // True when the service was not admitted and stopped without running.
  bool Refused() const { return refused_.load(); }

 private:
  // Registers for the controls, reports START_PENDING, is admitted (or
  // reports STOPPED), reports RUNNING, runs the start sequence, waits for STOP, runs the stop sequence, reports STOPPED.
  void Main() override;
  // STOP reports STOP_PENDING and wakes Main; INTERROGATE reports the record
  // as it is. Never blocks for longer than a report.
  void Control(std::uint32_t control) override;
  void Report(std::uint32_t state, std::uint32_t checkPoint, std::uint32_t waitHint);
  void StopReportingProgress();

  ServiceHost& host_;
  Clock& clock_;
  ServiceSequences sequences_;
  std::function<bool()> admit_;
  // What STOP signals and Main waits on.
  std::stop_source stop_;
  // The one record every report passes; Main's thread and the control
  // handler's both update it.
  std::mutex statusLock_;
  ServiceStatusRecord status_;
  std::atomic<bool> refused_{false};
};

}  // namespace qv
