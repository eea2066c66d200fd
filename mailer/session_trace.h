#pragma once
// Follows one SMTP dialogue from the command and reply lines the transport
// sees: which step it reached, the server's last reply, and the steps an
// administrator is shown. Outgoing lines are only classified, never kept, as
// AUTH lines carry the password.
#include <functional>
#include <string>
#include <string_view>

#include "mailer/mail_settings.h"

namespace qv::mailer {

// In dialogue order; the step whose reply decides a failure.
enum class SmtpPhase { Greeting, Hello, StartTls, Auth, MailFrom, RcptTo, Data, EndOfData, Done };

class SessionTrace {
 public:
  using StepSink = std::function<void(const std::string&)>;

  SessionTrace(Security security, std::wstring_view user, StepSink steps);

  void OnSent(std::string_view line);
  void OnReceived(std::string_view line);

  SmtpPhase Phase() const { return phase_; }
  int LastReplyCode() const { return lastCode_; }
  // The last complete reply, its lines joined with " | ".
  const std::string& LastReply() const { return lastReply_; }
  // The server accepted our AUTH.
  bool Authenticated() const { return authenticated_; }

 private:
  void OnReply();
  void Step(const std::string& text) const;

  Security security_;
  std::string user_;
  StepSink steps_;
  SmtpPhase phase_ = SmtpPhase::Greeting;
  bool tlsPending_ = false;
  bool quitting_ = false;
  bool authenticated_ = false;
  int lastCode_ = 0;
  std::string partial_;  // lines of a reply still being received
  std::string lastReply_;
};

}  // namespace qv::mailer
