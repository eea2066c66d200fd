#include "monitor/alerts/mail_alert.h"

#include <string>

#include "common/files.h"
#include "common/format.h"
#include "common/process_runner.h"
#include "common/profile.h"
#include "common/server_info.h"
#include "common/system.h"
#include "monitor/alerts/alert_body.h"
#include "monitor/settings.h"

namespace qv {
namespace {

// A read-only copy (an older version copied mail.ini's attribute along)
// could be neither written nor deleted, and would block every later mail.
void RemoveCopy(const std::wstring& path) {
  ClearReadOnly(path);
  RemoveFile(path);
}

// The copy lives only while its mail is sent, whatever way the send ends.
class CopyRemover {
 public:
  explicit CopyRemover(std::wstring path) : path_(std::move(path)) {}
  ~CopyRemover() { RemoveCopy(path_); }
  CopyRemover(const CopyRemover&) = delete;
  CopyRemover& operator=(const CopyRemover&) = delete;

 private:
  std::wstring path_;
};

// An unquoted program path with a blank is ambiguous: Windows tries each
// blank-separated prefix as a program ("C:\Program.exe" first) and Linux
// takes the first word. Quoted only then, so the usual line stays as it is.
std::wstring ProgramToken(const std::wstring& path) {
  if (path.find_first_of(L" \t") == std::wstring::npos) return path;
  return Format(L"\"%s\"", path);
}

std::wstring MailCopyPath(const MonitorSettings& settings, std::int32_t copyIndex) {
  return JoinPath(settings.exeDirectory, Format(L"mail_%d.ini", copyIndex));
}

}  // namespace

void RemoveLeftoverMailCopy(const MonitorSettings& settings, std::int32_t copyIndex) {
  RemoveCopy(MailCopyPath(settings, copyIndex));
}

bool SendMailThroughMailer(const MonitorSettings& settings, std::int32_t copyIndex, CheckKind kind,
                           ProcessRunner& runner, std::chrono::milliseconds waitBound) {
  const std::wstring mailIni = JoinPath(settings.exeDirectory, kMailIni);
  const std::wstring copy = MailCopyPath(settings, copyIndex);

  // Whatever has the name goes first, a link included, and never followed.
  RemoveCopy(copy);
  const CopyRemover remover(copy);
  // The copy holds the mail server's password: its owner alone may read it.
  if (!CopyFileReplace(mailIni, copy, /*ownerOnly=*/true)) {
    // Without mail.ini the copy holds the body alone. A mail.ini that is no
    // regular file, or a name someone took meanwhile, fails the mail.
    if (PathExists(mailIni) || !CreateNewFile(copy, /*ownerOnly=*/true)) return false;
  }
  // Windows copies a read-only mail.ini's attribute along: the Body could
  // not be written, nor the copy with the password deleted.
  if (!ClearReadOnly(copy)) return false;

  const std::wstring body = ReadAlertBody(copy, kind, settings.hardwarePattern);
  // Without its body the mailer would send the wrong text, or none.
  if (!WriteProfileValue(copy, L"Config", L"Body", body)) return false;

  const std::wstring commandLine =
      Format(L"%s \"%s\"", ProgramToken(JoinPath(settings.exeDirectory, L"Ostrival.exe")), copy);
  const ProcessOutcome outcome = runner.Run(commandLine, waitBound);
  return outcome.started && !outcome.timedOut && outcome.exitCode == 0;
}

}  // namespace qv
