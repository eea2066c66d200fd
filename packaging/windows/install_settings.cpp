#include "packaging/windows/install_settings.h"

#include <cstdint>
#include <optional>

#include "common/files.h"
#include "common/format.h"
#include "common/ipv4_text.h"
#include "common/profile.h"
#include "common/server_info.h"
#include "common/system.h"
#include "common/text_util.h"

namespace qv {
namespace {

// Integers are read back with GetPrivateProfileIntW into 32-bit fields.
constexpr std::int64_t kLargestCount = 2147483647;
// String values are read into 1024-unit buffers.
constexpr std::size_t kLongestText = kProfileBufferSize - 1;
// The metrics file's temporary name, "\\.quorvanex.prom." and 16 hex digits,
// must still fit in MAX_PATH (259 characters and the terminating zero) behind
// an absolute folder.
constexpr std::size_t kLongestFolder = 226;

enum class Kind { Servers, Text, Folder, Count, MailSend };

struct Setting {
  const wchar_t* property;
  const wchar_t* file;
  const wchar_t* section;
  const wchar_t* key;
  Kind kind;
  const wchar_t* rule;  // what a good value is, for the message
};

const Setting kSettings[] = {
    {L"SERVERS", kQuorvanexIni, L"Config", L"Count", Kind::Servers,
     L"IPv4 addresses in dotted-decimal form (10.0.0.5), separated by \",\" or \";\""},
    {L"HARDWARE", kQuorvanexIni, L"Config", L"Hardware", Kind::Text,
     L"the start of the device instance path (USB\\VID_1234&PID_5678), at most 1023 characters, "
     L"without control characters or single quotes, and without blanks or double quotes at either end"},
    {L"INTERVAL", kConfigIni, L"Config", L"Interval", Kind::Count,
     L"the minutes between check cycles, a whole number from 0 to 2147483647"},
    {L"PING_THRESHOLD", kConfigIni, L"Threshold", L"Ping", Kind::Count,
     L"the failed ping checks tolerated before an alert, a whole number from 0 (check off) to 2147483647"},
    {L"DEVICE_THRESHOLD", kConfigIni, L"Threshold", L"DeviceManager", Kind::Count,
     L"the failed device checks tolerated before an alert, a whole number from 0 (check off) to 2147483647"},
    {L"MAILSEND", kMailIni, L"Config", L"MailSend", Kind::MailSend,
     L"0 (no mail), 1 to 10 (mails per error episode) or 99 (no limit)"},
    {L"METRICS_DIR", kConfigIni, L"Metrics", L"TextfileDir", Kind::Folder,
     L"the folder for the metrics file, absolute (C:\\Program Files\\windows_exporter\\textfile_inputs) or "
     L"relative to the program folder, at most 226 characters, without control characters or \" < > | ? *, and "
     L"without blanks or single quotes at either end"},
};

std::optional<std::int64_t> ParseCount(std::wstring_view text) {
  const std::optional<std::int64_t> value = ParseDigits(text, 10);
  if (!value || *value > kLargestCount) return std::nullopt;
  return value;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The entries of a server list, blanks around each removed; an empty entry
// stays in the list so that the check can refuse it.
std::vector<std::wstring> SplitServers(std::wstring_view text) {
  std::vector<std::wstring> entries;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find_first_of(L",;", start);
    std::wstring_view entry = text.substr(start, end == std::wstring_view::npos ? std::wstring_view::npos : end - start);
    entry = TrimBlanks(entry);
    entries.emplace_back(entry);
    if (end == std::wstring_view::npos) return entries;
    start = end + 1;
  }
}

bool IsControl(wchar_t c) { return c < 0x20 || c == 0x7f; }

// A value as the message shows it: control characters as <U+000A>, so that
// the message stays one line.
std::wstring Shown(std::wstring_view value) {
  std::wstring text;
  for (wchar_t c : value) {
    if (!IsControl(c)) {
      text += c;
      continue;
    }
    const wchar_t* digits = L"0123456789ABCDEF";
    text += L"<U+00";
    text += digits[(c >> 4) & 0xf];
    text += digits[c & 0xf];
    text += L'>';
  }
  return text;
}

// Why a value is refused: nothing when it is good, an empty text when the
// rule alone says it.
using Fault = std::optional<std::wstring>;

// Characters a text may not hold anywhere, and why.
struct Refused {
  std::wstring_view characters;
  const wchar_t* reason;
};

// The profile functions trim blanks and strip quotes around a value, and a
// line break would end it: such a text would not read back as given.
Fault TextFault(std::wstring_view text, std::size_t longest, const Refused& refused) {
  if (text.empty()) return L"";
  if (text.size() > longest) return Format(L"it is %u characters long", text.size());
  for (wchar_t c : text) {
    if (IsControl(c)) return L"it holds a control character";
    if (refused.characters.find(c) != std::wstring_view::npos) return refused.reason;
  }
  auto edge = [](wchar_t c) { return IsBlank(c) || c == L'"' || c == L'\''; };
  if (edge(text.front()) || edge(text.back())) return L"it begins or ends with a blank or a quote";
  return std::nullopt;
}

// Names every bad entry of a server list by its place.
Fault ServersFault(std::wstring_view text) {
  std::wstring faults;
  const std::vector<std::wstring> entries = SplitServers(text);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (ParseIpv4Text(entries[i])) continue;
    faults += faults.empty() ? L"" : L", ";
    faults += entries[i].empty() ? Format(L"entry %u is empty", i + 1)
                                 : Format(L"entry %u \"%s\" is not an IPv4 address", i + 1, Shown(entries[i]));
  }
  if (faults.empty()) return std::nullopt;
  return faults;
}

Fault FaultOf(const Setting& setting, std::wstring_view value) {
  switch (setting.kind) {
    case Kind::Servers:
      return ServersFault(value);
    case Kind::Text:
      // The Monitor puts the value into the device query's single-quoted text.
      return TextFault(value, kLongestText, {L"'", L"a single quote would end the text of the device query"});
    case Kind::Folder:
      return TextFault(value, kLongestFolder, {L"\"<>|?*", L"Windows allows no \" < > | ? * in a folder name"});
    case Kind::Count:
      return ParseCount(value) ? Fault() : Fault(L"");
    case Kind::MailSend: {
      const auto n = ParseCount(value);
      return n && (*n <= kMailSendMaxLimit || *n == kMailSendNoLimit) ? Fault() : Fault(L"");
    }
  }
  return L"";
}

bool IsGood(const Setting& setting, std::wstring_view value) { return !FaultOf(setting, value); }

// Writes one key of `file` in `directory`; a key that could not be written
// is noted in `writes`.
bool WriteKey(const std::wstring& directory, const wchar_t* file, const std::wstring& section,
              const wchar_t* key, const std::wstring& value, InstallWrites& writes) {
  if (WriteProfileValue(JoinPath(directory, file), section, key, value)) return true;
  writes.failed.push_back(Format(L"%s %s.%s", file, section, key));
  return false;
}

// The same, and a key written is noted with its value as the programs will
// read it back.
void WriteNotedKey(const std::wstring& directory, const wchar_t* file, const std::wstring& section,
                   const wchar_t* key, const std::wstring& value, InstallWrites& writes) {
  if (!WriteKey(directory, file, section, key, value, writes)) return;
  const ProfileReader written(JoinPath(directory, file));
  writes.written.push_back(Format(L"%s %s.%s=%s", file, section, key, written.GetString(section, key, L"")));
}

// The server list replaces the configured one. A section that already holds
// the same address keeps its other keys (Enabled, Display, ...); sections past
// the new Count stay in the file but are no longer read.
void WriteServers(const std::wstring& directory, const std::vector<std::wstring>& servers,
                  InstallWrites& writes) {
  const ProfileReader current(JoinPath(directory, kQuorvanexIni));
  for (std::size_t i = 0; i < servers.size(); ++i) {
    const std::wstring section = Format(L"Quorvanex_%u", i + 1);
    if (current.GetString(section, L"Server", L"") == servers[i]) continue;
    WriteKey(directory, kQuorvanexIni, section, L"Enabled", L"1", writes);
    WriteNotedKey(directory, kQuorvanexIni, section, L"Server", servers[i], writes);
    WriteKey(directory, kQuorvanexIni, section, L"Display", L"", writes);
  }
  WriteNotedKey(directory, kQuorvanexIni, L"Config", L"Count", Format(L"%u", servers.size()), writes);
}

}  // namespace

const std::vector<std::wstring>& InstallPropertyNames() {
  static const std::vector<std::wstring> names = [] {
    std::vector<std::wstring> list;
    for (const Setting& s : kSettings) list.emplace_back(s.property);
    return list;
  }();
  return names;
}

std::vector<std::wstring> CheckInstallProperties(const InstallProperties& given) {
  std::vector<std::wstring> problems;
  for (const Setting& setting : kSettings) {
    const auto found = given.find(setting.property);
    if (found == given.end()) continue;
    const Fault fault = FaultOf(setting, found->second);
    if (!fault) continue;
    const std::wstring why = fault->empty() ? std::wstring() : *fault + L"; ";
    problems.push_back(
        Format(L"%s=\"%s\" is not valid: %sgive %s.", setting.property, Shown(found->second), why, setting.rule));
  }
  return problems;
}

InstallWrites ApplyInstallProperties(const std::wstring& directory, const InstallProperties& given) {
  InstallWrites writes;
  for (const Setting& setting : kSettings) {
    const auto found = given.find(setting.property);
    if (found == given.end() || !IsGood(setting, found->second)) continue;
    switch (setting.kind) {
      case Kind::Servers:
        WriteServers(directory, SplitServers(found->second), writes);
        break;
      case Kind::Text:
        WriteNotedKey(directory, setting.file, setting.section, setting.key, found->second, writes);
        break;
      case Kind::Folder: {
        WriteNotedKey(directory, setting.file, setting.section, setting.key, found->second, writes);
        // The exporter that owns the folder may come later; the Monitor
        // writes its file as soon as the folder is there.
        const std::wstring& value = found->second;
        const std::wstring folder = IsAbsolutePath(value) ? value : JoinPath(directory, value);
        if (!IsDirectory(folder)) {
          writes.notes.push_back(Format(L"%s does not exist yet: the metrics file is written once it does", folder));
        }
        break;
      }
      case Kind::Count:
      case Kind::MailSend:
        // Leading zeros go: the file holds the number as the programs write it.
        WriteNotedKey(directory, setting.file, setting.section, setting.key,
                      Format(L"%d", *ParseCount(found->second)), writes);
        break;
    }
  }
  return writes;
}

std::wstring EncodeInstallData(const InstallProperties& properties) {
  std::wstring data;
  for (const auto& [name, value] : properties) {
    data += name;
    data += L'=';
    data += value;
    data += L'\n';
  }
  return data;
}

InstallProperties DecodeInstallData(std::wstring_view data) {
  InstallProperties properties;
  while (!data.empty()) {
    const std::size_t end = data.find(L'\n');
    const std::wstring_view line = data.substr(0, end);
    const std::size_t equals = line.find(L'=');
    if (equals != std::wstring_view::npos) {
      properties.emplace(std::wstring(line.substr(0, equals)), std::wstring(line.substr(equals + 1)));
    }
    if (end == std::wstring_view::npos) break;
    data.remove_prefix(end + 1);
  }
  return properties;
}

}  // namespace qv
