#pragma once
// What one mail needs, read from section "Config" of a mail file.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::mailer {

enum class Security { StartTls, Tls, None };

struct Mailbox {
  std::wstring displayName;  // may be empty
  std::wstring address;      // user@domain, ASCII only
};

inline constexpr int kDefaultTimeoutSeconds = 60;
// Below the Monitor's 300 s wait, so a hung session ends as our time-out.
inline constexpr int kMaxTimeoutSeconds = 280;

struct MailSettings {
  std::wstring server;
  int port = 587;
  Security security = Security::StartTls;
  std::wstring user;
  std::wstring password;
  Mailbox from;
  std::vector<Mailbox> to;
  std::vector<Mailbox> cc;
  std::wstring subject;  // "<name>" already replaced
  std::wstring body;
  int timeoutSeconds = kDefaultTimeoutSeconds;
  std::wstring caFile;
  bool verifyCertificate = true;
};

struct SettingsResult {
  std::optional<MailSettings> settings;
  std::wstring error;  // why there are none; never holds the password
};

// The value of a key of section "Config", or `fallback` when it is missing.
using SettingLookup = std::function<std::wstring(const wchar_t* key, std::wstring_view fallback)>;

// Checks and converts the keys; `computerName` replaces "<name>" in the subject.
SettingsResult ParseMailSettings(const SettingLookup& lookup, std::wstring_view computerName);
// The same for the keys of a mail file, which must be readable.
SettingsResult ReadMailSettings(const std::wstring& path, std::wstring_view computerName);

// "a@b, Name <c@d>; e@f": blank entries are skipped. Nothing when an entry is
// not a mailbox.
std::optional<std::vector<Mailbox>> ParseMailboxList(std::wstring_view text);
std::optional<Mailbox> ParseMailbox(std::wstring_view text);

std::wstring_view SecurityName(Security security);

}  // namespace qv::mailer
