#include "mailer/exit_code.h"

#include <curl/curl.h>

namespace qv::mailer {

ExitCode MapSessionResult(int curlCode, SmtpPhase phase, int lastReply) {
  switch (static_cast<CURLcode>(curlCode)) {
    case CURLE_OK:
      return ExitCode::Accepted;
    case CURLE_OPERATION_TIMEDOUT:
      return ExitCode::TimedOut;
    case CURLE_LOGIN_DENIED:
      return ExitCode::AuthRefused;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return ExitCode::BadSettings;
    default:
      break;
  }
  // libcurl reports a refused MAIL, RCPT or DATA and a refused message alike
  // as a send error or an odd reply; a refusal is a 4xx or 5xx to one of those.
  // The same error codes with no such reply are a broken connection.
  const bool refusal = lastReply >= 400 && lastReply < 600;
  if (refusal && phase == SmtpPhase::Auth) return ExitCode::AuthRefused;
  if (refusal && phase >= SmtpPhase::MailFrom && phase <= SmtpPhase::EndOfData) {
    return ExitCode::MessageRefused;
  }
  return ExitCode::ConnectFailed;
}

}  // namespace qv::mailer
