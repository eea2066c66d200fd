#pragma once
// The mail alert: the external mailer Ostrival.exe beside the executable,
// given a private copy of mail.ini with the body filled in.
#include <chrono>
#include <cstdint>

#include "monitor/check_kind.h"

namespace qv {

struct MonitorSettings;
class ProcessRunner;

// How long a mail program may run before it is stopped and counted as failed.
inline constexpr std::chrono::milliseconds kMailerWaitBound = std::chrono::seconds(300);

// Deletes mail_<copyIndex>.ini left behind by a run that was killed while it
// sent a mail: it holds the mail server's password.
void RemoveLeftoverMailCopy(const MonitorSettings& settings, std::int32_t copyIndex);

// Copies mail.ini to mail_<copyIndex>.ini, writes the body of the kind into
// it as "Body", runs the mailer on it and deletes it. True when the mailer
// exited with 0 within `waitBound`; a copy that cannot be made or take its
// body fails the mail without starting the mailer.
bool SendMailThroughMailer(const MonitorSettings& settings, std::int32_t copyIndex, CheckKind kind,
                           ProcessRunner& runner, std::chrono::milliseconds waitBound);

}  // namespace qv
