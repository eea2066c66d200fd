#pragma once
// The program's exit codes and how a finished SMTP session maps onto them.
#include "mailer/session_trace.h"

namespace qv::mailer {

enum class ExitCode : int {
  Accepted = 0,
  BadSettings = 2,      // bad argument or settings
  ConnectFailed = 3,    // cannot connect, or TLS failed
  AuthRefused = 4,
  MessageRefused = 5,   // sender, recipient or message refused
  TimedOut = 6,
};

// `curlCode` is libcurl's CURLcode; `phase` and `lastReply` come from the
// session's trace.
ExitCode MapSessionResult(int curlCode, SmtpPhase phase, int lastReply);

}  // namespace qv::mailer
