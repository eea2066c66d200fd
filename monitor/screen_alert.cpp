#include "checker.h"
#include "format.h"
#include "profile.h"
#include "settings.h"
#include "system.h"
#include "text_util.h"
#include "wmi_connection.h"

namespace qv {

bool Checker::ShowScreenAlert(bool isPing, std::int64_t eventTime) {
  std::unique_ptr<WmiConnection> wmi = ports.newWmiConnection();
  if (!wmi->Connect(info)) {
    wmi->Release();
    return false;
  }
  std::wstring body;
  {
    ProfileReader message(JoinPath(settings.exeDirectory, kMessageIni));
    if (isPing) {
      body = message.GetString(L"Config", L"Body_ping", L"ping error");
    } else {
      body = message.GetString(L"Config", L"Body_device", L"<name>");
      ReplaceAll(body, L"<name>", settings.hardwarePattern);
    }
  }
  const std::wstring stamp = FormatLocalTime(eventTime, L"%Y/%m/%d %H:%M:%S");
  const std::wstring commandLine = Format(L"msg.exe * /TIME:2147483647 \"[%s]%s\"", stamp, body);
  std::wstring scratch;
  wmi->StartProcess(commandLine, L"", scratch);
  wmi->Release();
  return true;
}

}  // namespace qv
