#include "mailer/session_trace.h"

#include "common/text_util.h"

namespace qv::mailer {
namespace {

std::string_view Chomp(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

bool StartsWithWord(std::string_view line, std::string_view word) {
  if (line.size() < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = line[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != word[i]) return false;
  }
  return line.size() == word.size() || line[word.size()] == ' ' || line[word.size()] == ':';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

SessionTrace::SessionTrace(Security security, std::wstring_view user, StepSink steps)
    : security_(security), user_(WideToUtf8(user)), steps_(std::move(steps)) {}

void SessionTrace::Step(const std::string& text) const {
  if (steps_) steps_(text);
}

void SessionTrace::OnSent(std::string_view line) {
  line = Chomp(line);
  if (StartsWithWord(line, "EHLO") || StartsWithWord(line, "HELO")) {
    // The greeting again after STARTTLS goes out only over the finished handshake.
    if (tlsPending_) Step("TLS: established (STARTTLS)");
    tlsPending_ = false;
    phase_ = SmtpPhase::Hello;
  } else if (StartsWithWord(line, "STARTTLS")) {
    phase_ = SmtpPhase::StartTls;
  } else if (StartsWithWord(line, "AUTH")) {
    phase_ = SmtpPhase::Auth;
    Step("Authenticating as " + user_);
  } else if (StartsWithWord(line, "MAIL")) {
    phase_ = SmtpPhase::MailFrom;
  } else if (StartsWithWord(line, "RCPT")) {
    phase_ = SmtpPhase::RcptTo;
  } else if (StartsWithWord(line, "DATA")) {
    phase_ = SmtpPhase::Data;
  } else if (StartsWithWord(line, "QUIT")) {
    quitting_ = true;
  }
}

void SessionTrace::OnReceived(std::string_view line) {
  // The goodbye after a failure must not hide the reply that caused it.
  if (quitting_) return;
  line = Chomp(line);
  if (!partial_.empty()) partial_ += " | ";
  partial_ += line;
  const bool hasCode = line.size() >= 3 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]);
  if (hasCode && line.size() > 3 && line[3] == '-') return;  // more lines follow
  lastCode_ = hasCode ? (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0') : 0;
  lastReply_ = std::move(partial_);
  partial_.clear();
  OnReply();
}

void SessionTrace::OnReply() {
  const bool positive = lastCode_ >= 200 && lastCode_ < 400;
  switch (phase_) {
    case SmtpPhase::Greeting:
      if (!positive) break;
      if (security_ == Security::Tls) Step("TLS: established");
      Step("Connected: " + lastReply_);
      break;
    case SmtpPhase::StartTls:
      tlsPending_ = lastCode_ == 220;
      break;
    case SmtpPhase::Auth:
      if (lastCode_ != 235) break;
      authenticated_ = true;
      Step("Authentication: accepted");
      break;
    case SmtpPhase::Data:
      if (lastCode_ == 354) phase_ = SmtpPhase::EndOfData;
      break;
    case SmtpPhase::EndOfData:
      if (lastCode_ >= 200 && lastCode_ < 300) {
        Step("Accepted: " + lastReply_);
        phase_ = SmtpPhase::Done;
      }
      break;
    default:
      break;
  }
}

}  // namespace qv::mailer
