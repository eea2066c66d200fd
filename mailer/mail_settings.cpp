#include "mailer/mail_settings.h"

#include <cstdint>

#include "common/files.h"
#include "common/format.h"
#include "common/profile.h"
#include "common/text_util.h"

namespace qv::mailer {
namespace {

constexpr wchar_t kSection[] = L"Config";

bool IsAtext(wchar_t c) {
  if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) return true;
  return std::wstring_view(L"!#$%&'*+-/=?^_`{|}~.").find(c) != std::wstring_view::npos;
}

// The longest address an SMTP path holds (256 with its brackets).
constexpr std::size_t kMaxAddressLength = 254;

// Dot-atom local part and domain; quoted local parts and non-ASCII addresses
// are not accepted.
bool IsAddress(std::wstring_view text) {
  if (text.size() > kMaxAddressLength) return false;
  const std::size_t at = text.find(L'@');
  if (at == 0 || at == std::wstring_view::npos || at + 1 == text.size()) return false;
  if (text.find(L'@', at + 1) != std::wstring_view::npos) return false;
  for (wchar_t c : text) {
    if (c != L'@' && !IsAtext(c)) return false;
  }
  const auto dotAtom = [](std::wstring_view part) {
    return part.front() != L'.' && part.back() != L'.' && part.find(L"..") == std::wstring_view::npos;
  };
  return dotAtom(text.substr(0, at)) && dotAtom(text.substr(at + 1));
}

bool HasControl(std::wstring_view text) {
  for (wchar_t c : text) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

}  // namespace

std::wstring_view SecurityName(Security security) {
  switch (security) {
    case Security::StartTls: return L"starttls";
    case Security::Tls: return L"tls";
    case Security::None: return L"none";
  }
  return L"";
}

std::optional<Mailbox> ParseMailbox(std::wstring_view text) {
  text = TrimBlanks(text);
  Mailbox box;
  const std::size_t open = text.rfind(L'<');
  if (!text.empty() && text.back() == L'>' && open != std::wstring_view::npos) {
    std::wstring_view name = TrimBlanks(text.substr(0, open));
    if (name.size() >= 2 && name.front() == L'"' && name.back() == L'"') {
      name = name.substr(1, name.size() - 2);
    }
    if (HasControl(name) || name.find(L'"') != std::wstring_view::npos) return std::nullopt;
    box.displayName = name;
    text = TrimBlanks(text.substr(open + 1, text.size() - open - 2));
  }
  if (!IsAddress(text)) return std::nullopt;
  box.address = text;
  return box;
}

std::optional<std::vector<Mailbox>> ParseMailboxList(std::wstring_view text) {
  std::vector<Mailbox> list;
  while (true) {
    const std::size_t end = text.find_first_of(L",;");
    const std::wstring_view item = TrimBlanks(text.substr(0, end));
    if (!item.empty()) {
      std::optional<Mailbox> box = ParseMailbox(item);
      if (!box) return std::nullopt;
      list.push_back(std::move(*box));
    }
    if (end == std::wstring_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return list;
}

SettingsResult ReadMailSettings(const std::wstring& path, std::wstring_view computerName) {
  // The profile functions read an unreadable file as an empty one.
  if (const std::wstring reason = UnreadableReason(path); !reason.empty()) {
    return SettingsResult{std::nullopt, Format(L"cannot read %s: %s", path, reason)};
  }
  const ProfileReader ini(path);
  return ParseMailSettings(
      [&ini](const wchar_t* key, std::wstring_view fallback) { return ini.GetString(kSection, key, fallback); },
      computerName);
}

SettingsResult ParseMailSettings(const SettingLookup& lookup, std::wstring_view computerName) {
  const auto fail = [](std::wstring message) { return SettingsResult{std::nullopt, std::move(message)}; };
  const auto get = [&](const wchar_t* key, std::wstring_view fallback = L"") { return lookup(key, fallback); };

  MailSettings s;
  s.server = TrimBlanks(get(L"SmtpServer"));
  if (s.server.empty()) return fail(L"SmtpServer is missing");
  if (HasControl(s.server) || s.server.find_first_of(L" /?#@") != std::wstring::npos) {
    return fail(Format(L"SmtpServer is not a host name: %s", s.server));
  }

  const std::wstring security = get(L"Security", L"starttls");
  if (EqualsNoCase(security, L"starttls")) {
    s.security = Security::StartTls;
  } else if (EqualsNoCase(security, L"tls")) {
    s.security = Security::Tls;
  } else if (EqualsNoCase(security, L"none")) {
    s.security = Security::None;
  } else {
    return fail(Format(L"Security must be starttls, tls or none, not %s", security));
  }

  const std::wstring port = get(L"SmtpPort");
  if (port.empty()) {
    s.port = s.security == Security::Tls ? 465 : s.security == Security::None ? 25 : 587;
  } else {
    const std::optional<std::int64_t> value = ParseDigits(port, 9);
    if (!value || *value < 1 || *value > 65535) return fail(Format(L"SmtpPort is not a port: %s", port));
    s.port = static_cast<int>(*value);
  }

  s.user = get(L"User");
  s.password = get(L"Password");
  if (HasControl(s.user) || HasControl(s.password)) return fail(L"User or Password holds a control character");
  const std::wstring allowPlain = get(L"AllowPlainTextPassword", L"0");
  if (allowPlain != L"0" && allowPlain != L"1") {
    return fail(Format(L"AllowPlainTextPassword must be 0 or 1, not %s", allowPlain));
  }
  if (s.security == Security::None && !s.user.empty() && allowPlain != L"1") {
    return fail(
        L"Security=none would send the password of User in clear text: use starttls or tls, or allow it with "
        L"AllowPlainTextPassword=1");
  }

  const std::wstring from = get(L"From");
  if (TrimBlanks(from).empty()) return fail(L"From is missing");
  std::optional<Mailbox> sender = ParseMailbox(from);
  if (!sender) return fail(Format(L"From is not a mail address: %s", from));
  s.from = std::move(*sender);

  const std::wstring to = get(L"To");
  std::optional<std::vector<Mailbox>> toList = ParseMailboxList(to);
  if (!toList) return fail(Format(L"To holds something that is not a mail address: %s", to));
  if (toList->empty()) return fail(L"To is missing");
  s.to = std::move(*toList);

  const std::wstring cc = get(L"Cc");
  std::optional<std::vector<Mailbox>> ccList = ParseMailboxList(cc);
  if (!ccList) return fail(Format(L"Cc holds something that is not a mail address: %s", cc));
  s.cc = std::move(*ccList);

  s.subject = get(L"Subject", L"Monitor alert: <name>");
  ReplaceAll(s.subject, L"<name>", computerName);
  s.body = get(L"Body");

  const std::wstring timeout = get(L"TimeoutSeconds");
  if (!timeout.empty()) {
    const std::optional<std::int64_t> value = ParseDigits(timeout, 9);
    if (!value || *value < 1) return fail(Format(L"TimeoutSeconds is not a positive number: %s", timeout));
    s.timeoutSeconds = static_cast<int>(*value < kMaxTimeoutSeconds ? *value : kMaxTimeoutSeconds);
  }

  s.caFile = get(L"CaFile");
  if (!s.caFile.empty() && !PathExists(s.caFile)) return fail(Format(L"CaFile not found: %s", s.caFile));

  const std::wstring verify = get(L"VerifyCertificate", L"1");
  if (verify != L"0" && verify != L"1") return fail(Format(L"VerifyCertificate must be 0 or 1, not %s", verify));
  s.verifyCertificate = verify == L"1";

  return SettingsResult{std::move(s), L""};
}

}  // namespace qv::mailer
