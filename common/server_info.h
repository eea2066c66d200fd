#pragma once
// One device server as configured in quorvanex.ini; shared by the Monitor and
// the Configurator.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class ProfileReader;

struct QuorvanexServerInfo {
  std::int32_t index = 0;  // 0-based ordinal of the section (N - 1)
  bool enabled = false;
  std::wstring server;
  std::wstring username;
  std::wstring password;
  std::int32_t port = 0;
  std::wstring display;
  std::wstring hardware;
  std::wstring productId;
  std::wstring vendorId;
};

inline constexpr wchar_t kQuorvanexIni[] = L"quorvanex.ini";
inline constexpr wchar_t kConfigIni[] = L"config.ini";
inline constexpr wchar_t kMailIni[] = L"mail.ini";
inline constexpr wchar_t kMessageIni[] = L"message.ini";

// mail.ini "MailSend": up to this many mails per episode may be asked for;
// the Monitor reads every other value as kMailSendNoLimit.
inline constexpr std::uint32_t kMailSendMaxLimit = 10;
inline constexpr std::uint32_t kMailSendNoLimit = 99;

// N of a section named exactly as "Quorvanex_%d" prints it for N >= 1 (names
// compare without case), or 0: "Quorvanex_01" is no server section.
std::int64_t ServerSectionNumber(std::wstring_view name);

// The check interval and the two thresholds of config.ini, as both programs
// read them: default 5 each; a negative value leaves the field as it was.
void ReadCheckSettings(const ProfileReader& configIni, std::int32_t& intervalMinutes,
                       std::int32_t& pingThreshold, std::int32_t& deviceThreshold);

// A directory named in an INI file: a relative value lies below
// `exeDirectory` (".." included, kept as written), an absolute one is used as
// given.
std::wstring ResolveConfiguredDirectory(const std::wstring& exeDirectory, const std::wstring& value);

// The log folder of config.ini ("LogDir" of "Config", default "log"), where
// the Monitor writes log.txt and the mail program mail.log.
std::wstring ReadLogDirectory(const ProfileReader& configIni, const std::wstring& exeDirectory);

// The server sections "Quorvanex_1" .. "Quorvanex_<Count>" of quorvanex.ini in
// ascending N, skipping those without "Server". Only sections that exist are
// visited, so a huge Count costs nothing. The Monitor doubles the backslashes
// of "Hardware"; the Configurator keeps the text as it is.
std::vector<QuorvanexServerInfo> ReadServerSections(const ProfileReader& quorvanexIni,
                                                    bool doubleBackslashes);

}  // namespace qv
