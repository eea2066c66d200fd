#include "monitor/alerts/screen_alert.h"

#include "common/format.h"
#include "common/server_info.h"
#include "common/system.h"
#include "monitor/alerts/alert_body.h"
#include "monitor/settings.h"
#include "monitor/wmi/wmi_connection.h"

namespace qv {

std::wstring ScreenAlertCommandLine(const std::wstring& stamp, const std::wstring& body) {
  return Format(L"msg.exe * /TIME:2147483647 \"[%s]%s\"", stamp, body);
}

bool ShowScreenAlertThroughWmi(WmiConnection& wmi, const QuorvanexServerInfo& info,
                               const MonitorSettings& settings, CheckKind kind, std::int64_t eventTime) {
  if (!wmi.Connect(info)) {
    wmi.Release();
    return false;
  }
  const std::wstring body =
      ReadAlertBody(JoinPath(settings.exeDirectory, kMessageIni), kind, settings.hardwarePattern);
  const std::wstring stamp = FormatLocalTime(eventTime, L"%Y/%m/%d %H:%M:%S");
  std::wstring returnValue;
  const bool ran = wmi.StartProcess(ScreenAlertCommandLine(stamp, body), L"", returnValue);
  wmi.Release();
  // Create reports a program that could not start in its ReturnValue.
  return ran && returnValue == L"0";
}

}  // namespace qv
