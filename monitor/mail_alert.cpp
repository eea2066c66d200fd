#include "checker.h"
#include "files.h"
#include "format.h"
#include "process_runner.h"
#include "profile.h"
#include "settings.h"
#include "system.h"
#include "text_util.h"

namespace qv {

bool Checker::SendAlertMail(bool isPing) {
  const std::wstring mailIni = JoinPath(settings.exeDirectory, kMailIni);
  const std::wstring copy = JoinPath(settings.exeDirectory, Format(L"mail_%d.ini", info.index));

  if (PathExists(copy)) RemoveFile(copy);
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
      Format(L"%s\"", JoinPath(settings.exeDirectory, L"Ostrival.exe \"") + copy);
  ProcessOutcome outcome = ports.processRunner->Run(commandLine, ports.mailerWaitBound);

  RemoveFile(copy);
  return outcome.started && !outcome.timedOut && outcome.exitCode == 0;
}

}  // namespace qv
