#pragma once
// Hands one composed message to the mail server through libcurl.
#include <string>
#include <string_view>

#include "mailer/mail_settings.h"
#include "mailer/session_trace.h"

namespace qv::mailer {

struct SendResult {
  int curlCode = 0;         // CURLcode
  std::string error;        // libcurl's own description of a failure
};

// libcurl's process-wide state, for as long as the object lives.
class CurlLibrary {
 public:
  CurlLibrary();
  ~CurlLibrary();
  CurlLibrary(const CurlLibrary&) = delete;
  CurlLibrary& operator=(const CurlLibrary&) = delete;
  bool Ok() const { return ok_; }

 private:
  bool ok_;
};

// Envelope: From, then every To and Cc address. `helloName` is the name given
// in EHLO. Every command and reply line passes through `trace`.
SendResult DeliverMessage(const MailSettings& settings, std::string_view message,
                       std::string_view helloName, SessionTrace& trace);

}  // namespace qv::mailer
