// Ostrival.exe: sends one mail with the settings of section "Config" of the
// file named by its argument. With --test it shows each step.
#include <string>
#include <vector>

#include "common/entry.h"
#include "common/files.h"
#include "common/format.h"
#include "common/profile.h"
#include "common/server_info.h"
#include "common/system.h"
#include "common/text_util.h"
#include "mailer/exit_code.h"
#include "mailer/mail_log.h"
#include "mailer/mail_settings.h"
#include "mailer/message.h"
#include "mailer/smtp_transport.h"

namespace qv::mailer {
namespace {

constexpr wchar_t kUsage[] =
    L"usage: Ostrival.exe MAILFILE         send the mail described by section [Config]\n"
    L"       Ostrival.exe --test MAILFILE  send a test mail and show each step\n";

// A password that a server or libcurl echoed back is masked wherever text
// goes. Too short a secret would mask ordinary text and tell nothing anyway.
class Secret {
 public:
  void Set(const std::string& secret) {
    if (secret.size() >= 4) secret_ = secret;
  }
  std::string Mask(std::string text) const {
    if (secret_.empty()) return text;
    for (std::size_t at = text.find(secret_); at != std::string::npos; at = text.find(secret_, at + 3)) {
      text.replace(at, secret_.size(), "***");
    }
    return text;
  }

 private:
  std::string secret_;
};

class Output {
 public:
  Output(bool verbose, const Secret& secret) : verbose_(verbose), secret_(secret) {}
  void Step(std::string text) const {
    if (verbose_) Line(std::move(text));
  }
  void Line(std::string text) const { ConsoleWrite(Utf8ToWide(secret_.Mask(std::move(text))) + L"\n"); }

 private:
  bool verbose_;
  const Secret& secret_;
};

std::string HelloName() {
  std::string name = WideToUtf8(ComputerName());
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
    if (!ok) return "localhost";
  }
  return name.empty() ? "localhost" : name;
}

std::string Addresses(const std::vector<Mailbox>& list) {
  std::string text;
  for (const Mailbox& box : list) text += (text.empty() ? "" : ", ") + WideToUtf8(box.address);
  return text;
}

// Sends the mail; what happened goes into `run` for mail.log.
ExitCode Send(const std::wstring& path, bool test, const Output& out, Secret& secret, MailRun& run) {
  const SettingsResult read = ReadMailSettings(path, ComputerName());
  if (!read.settings) {
    run.reason = WideToUtf8(read.error);
    out.Line("Ostrival: " + run.reason);
    return ExitCode::BadSettings;
  }
  MailSettings s = *read.settings;
  for (const auto* list : {&s.to, &s.cc}) {
    for (const Mailbox& box : *list) run.recipients.push_back(box.address);
  }
  if (test) {
    // Recipients must not take a test for an alert.
    s.subject = L"Test: " + s.subject;
    if (s.body.empty()) s.body = L"Test mail sent by Ostrival.exe --test from " + ComputerName() + L".";
  }
  secret.Set(WideToUtf8(s.password));
  if (test) {
    out.Step("Settings: " + WideToUtf8(path));
    out.Step("  server " + WideToUtf8(s.server) + ":" + std::to_string(s.port) + ", security " +
             WideToUtf8(SecurityName(s.security)) + ", time-out " + std::to_string(s.timeoutSeconds) + " s" +
             (s.verifyCertificate ? "" : ", certificate checks OFF (unsafe)") +
             (s.caFile.empty() ? "" : ", extra CAs from " + WideToUtf8(s.caFile)));
    out.Step("  user " + (s.user.empty() ? std::string("(none: no authentication)") : WideToUtf8(s.user)) +
             ", password " + (s.password.empty() ? "(empty)" : "***"));
    out.Step("  from " + WideToUtf8(s.from.address) + " to " + Addresses(s.to) +
             (s.cc.empty() ? "" : " cc " + Addresses(s.cc)));
  }

  const CurlLibrary curl;
  if (!curl.Ok()) {
    run.reason = "libcurl could not start";
    out.Line("Ostrival: " + run.reason);
    return ExitCode::ConnectFailed;
  }
  const std::int64_t now = NowSeconds();
  const LocalTime date = LocalTimeAt(now).value_or(LocalTime{});
  const std::string message = ComposeMessage(s, date, NewMessageId(now, s.from.address));

  SessionTrace trace(s.security, s.user, [&out](const std::string& step) { out.Step(step); });
  out.Step("Connecting to " + WideToUtf8(s.server) + ":" + std::to_string(s.port));
  const SendResult sent = DeliverMessage(s, message, HelloName(), trace);
  const ExitCode code = MapSessionResult(sent.curlCode, trace.Phase(), trace.LastReplyCode());
  if (code != ExitCode::Accepted) {
    run.reason = sent.error;
    run.lastReply = trace.LastReply();
    out.Line("Ostrival: failed (exit code " + std::to_string(static_cast<int>(code)) + "): " + sent.error);
    if (!trace.LastReply().empty()) out.Line("Ostrival: server's last reply: " + trace.LastReply());
  }
  return code;
}

// A --test run is logged too: it is a real mail.
int Run(const std::wstring& path, bool test) {
  Secret secret;
  const Output out(test, secret);
  MailRun run;
  run.exitCode = static_cast<int>(Send(path, test, out, secret, run));
  run.time = NowSeconds();
  const std::wstring programDirectory = ExecutableDirectory();
  const std::wstring logDirectory =
      ReadLogDirectory(ProfileReader(JoinPath(programDirectory, kConfigIni)), programDirectory);
  // The mail's own result stands whether or not it could be recorded.
  if (!AppendMailLog(logDirectory, programDirectory, secret.Mask(FormatMailLogLine(run)))) {
    out.Line("Ostrival: cannot write " + WideToUtf8(JoinPath(logDirectory, kMailLogName)));
  }
  return run.exitCode;
}

}  // namespace
}  // namespace qv::mailer

int ProgramMain(const std::vector<std::wstring>& args) {
  if (args.size() == 2 && args[1] != L"--test") return qv::mailer::Run(args[1], false);
  if (args.size() == 3 && args[1] == L"--test") return qv::mailer::Run(args[2], true);
  qv::ConsoleWrite(qv::mailer::kUsage);
  return static_cast<int>(qv::mailer::ExitCode::BadSettings);
}
