#include "checker.h"
#include "files.h"
#include "format.h"
#include "process_runner.h"
#include "profile.h"
#include "settings.h"
#include "system.h"
#include "text_util.h"

namespace qv {
namespace {

// The copy lives only while its mail is sent, whatever way the send ends.
class CopyRemover {
 public:
  explicit CopyRemover(const std::wstring& path) : path_(path) {}
  ~CopyRemover() { RemoveFile(path_); }
  CopyRemover(const CopyRemover&) = delete;
  CopyRemover& operator=(const CopyRemover&) = delete;

 private:
  const std::wstring& path_;
};

// An unquoted program path with a blank is ambiguous: Windows tries each
// blank-separated prefix as a program ("C:\Program.exe" first) and Linux
// takes the first word. Quoted only then, so the usual line stays as it is.
std::wstring ProgramToken(const std::wstring& path) {
  if (path.find_first_of(L" \t") == std::wstring::npos) return path;
  return Format(L"\"%s\"", path);
}

}  // namespace

bool Checker::SendAlertMail(bool isPing) {
  const std::wstring mailIni = JoinPath(settings.exeDirectory, kMailIni);
  const std::wstring copy = JoinPath(settings.exeDirectory, Format(L"mail_%d.ini", info.index));

  if (PathExists(copy)) RemoveFile(copy);
  CopyRemover remover(copy);
  // The copy holds the mail server's password: its owner alone may read it.
  CopyFileReplace(mailIni, copy, /*ownerOnly=*/true);

  std::wstring body;
  {
    ProfileReader reader(copy);
    if (isPing) {
      body = reader.GetString(L"Config", L"Body_ping", L"ping error");
    } else {
      body = reader.GetString(L"Config", L"Body_device", L"<name>");
      ReplaceAll(body, L"<name>", settings.hardwarePattern);
    }
  }
  WriteProfileValue(copy, L"Config", L"Body", body);

  const std::wstring commandLine =
      Format(L"%s \"%s\"", ProgramToken(JoinPath(settings.exeDirectory, L"Ostrival.exe")), copy);
  const ProcessOutcome outcome = ports.processRunner->Run(commandLine, ports.mailerWaitBound);
  return outcome.started && !outcome.timedOut && outcome.exitCode == 0;
}

}  // namespace qv
