#pragma once
// What a check cycle reports as it goes, for whoever keeps account of it
// (the metrics file). Called on the worker thread, in the order things happen.
#include <cstdint>
#include <string>

#include "monitor/check_kind.h"

namespace qv {

// Every report does nothing unless overridden.
class CycleObserver {
 public:
  virtual ~CycleObserver() = default;
  // `startTime`: seconds since 1970.
  virtual void CycleStarted(std::int64_t /*startTime*/) {}
  // The device check's connection to WMI was made, or could not be.
  virtual void WmiConnected(bool /*connected*/) {}
  // One switched-on server of the list was pinged.
  virtual void PingAnswered(const std::wstring& /*server*/, bool /*answered*/) {}
  // A check counted a result: healthy, or one more failure.
  virtual void CheckCounted(CheckKind /*check*/, bool /*healthy*/) {}
  // The threshold line was logged.
  virtual void ThresholdCrossed(CheckKind /*check*/) {}
  virtual void ScreenAlertTried(CheckKind /*check*/, bool /*shown*/) {}
  virtual void MailTried(CheckKind /*check*/, bool /*sent*/) {}
  // The error counters as the cycle left them.
  virtual void CycleEnded(std::uint32_t /*deviceErrorCount*/, std::uint32_t /*pingErrorCount*/) {}
};

}  // namespace qv
