// Mail settings: any keys and values give settings or a reason, never both,
// and settings that are accepted make a well-formed message and a safe
// envelope. The input is "Key=Value" lines in UTF-16LE; the INI reader that
// hands the values over has a target of its own.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/text_util.h"
#include "fuzz/mail_checks.h"
#include "mailer/message.h"

using namespace qv::mailer;
using qv::mailer::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Room for every key, and for one value as long as the profile reads.
  const std::wstring text = qv::mailer::fuzz::Utf16LeText(data, size, 1023);
  std::vector<std::pair<std::wstring_view, std::wstring_view>> keys;
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t end = std::min(text.find(L'\n', start), text.size());
    const std::wstring_view line = std::wstring_view(text).substr(start, end - start);
    const std::size_t equals = line.find(L'=');
    if (equals != std::wstring_view::npos) keys.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    start = end + 1;
  }
  const auto find = [&keys](std::wstring_view key) -> const std::wstring_view* {
    for (const auto& entry : keys) {
      if (qv::EqualsNoCase(entry.first, key)) return &entry.second;  // the first one wins
    }
    return nullptr;
  };
  const SettingsResult read = ParseMailSettings(
      [&find](const wchar_t* key, std::wstring_view fallback) {
        const std::wstring_view* value = find(key);
        return std::wstring(value ? *value : fallback);
      },
      L"PC01");
  Require(read.settings.has_value() == read.error.empty());
  if (!read.settings) return 0;
  MailSettings s = *read.settings;
  Require(s.port >= 1 && s.port <= 65535);
  Require(s.timeoutSeconds >= 1 && s.timeoutSeconds <= kMaxTimeoutSeconds);
  Require(!s.server.empty() && !s.to.empty());
  // The password goes in clear text only where the file says so.
  const std::wstring_view* allowPlain = find(L"AllowPlainTextPassword");
  Require(s.security != Security::None || s.user.empty() || (allowPlain && *allowPlain == L"1"));
  qv::mailer::fuzz::RequireSafeMailbox(s.from);
  for (const Mailbox& box : s.to) qv::mailer::fuzz::RequireSafeMailbox(box);
  for (const Mailbox& box : s.cc) qv::mailer::fuzz::RequireSafeMailbox(box);
  // Base64 lines cannot break the message; a long body would only cost time.
  s.body.clear();
  qv::mailer::fuzz::RequireWellFormedMessage(ComposeMessage(s, LocalTime{}, "<1.2@example.test>"));
  return 0;
}
