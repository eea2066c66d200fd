#include "monitor/alerts/alert_body.h"

#include "common/profile.h"
#include "common/text_util.h"

namespace qv {

std::wstring ReadAlertBody(const std::wstring& iniPath, CheckKind kind, const std::wstring& hardwarePattern) {
  const ProfileReader ini(iniPath);
  if (kind == CheckKind::Ping) return ini.GetString(L"Config", L"Body_ping", L"ping error");
  std::wstring body = ini.GetString(L"Config", L"Body_device", L"<name>");
  ReplaceAll(body, L"<name>", hardwarePattern);
  return body;
}

}  // namespace qv
