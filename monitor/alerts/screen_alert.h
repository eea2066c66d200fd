#pragma once
// The on-screen alert: msg.exe started through WMI on this computer, with the
// time of the event and the body from message.ini.
#include <cstdint>
#include <string>

#include "common/server_info.h"
#include "monitor/check_kind.h"

namespace qv {

struct MonitorSettings;
class WmiConnection;

// The command line msg.exe gets: "[stamp]body" to every session, shown until
// a user closes it.
std::wstring ScreenAlertCommandLine(const std::wstring& stamp, const std::wstring& body);

// Connects `wmi` to `info`'s computer and starts msg.exe there. True only
// when msg.exe was started (Create ran and returned 0); what it then does is
// not looked at.
bool ShowScreenAlertThroughWmi(WmiConnection& wmi, const QuorvanexServerInfo& info,
                               const MonitorSettings& settings, CheckKind kind, std::int64_t eventTime);

}  // namespace qv
