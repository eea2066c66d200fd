#pragma once
// The text of an alert, shared by the mail and the on-screen message.
#include <string>

#include "monitor/check_kind.h"

namespace qv {

// Section "Config" of `iniPath`: "Body_ping" as written (default "ping
// error"), or "Body_device" (default "<name>") with every "<name>" replaced by
// `hardwarePattern`. Values are cut to 1023 characters like every profile read.
std::wstring ReadAlertBody(const std::wstring& iniPath, CheckKind kind, const std::wstring& hardwarePattern);

}  // namespace qv
