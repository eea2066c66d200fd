#include "ctl/config_check.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <set>
#include <unordered_map>

#include "common/files.h"
#include "common/format.h"
#include "common/ipv4_text.h"
#include "common/profile.h"
#include "common/server_info.h"
#include "common/system.h"
#include "common/text_util.h"
#include "ctl/directory_access.h"

namespace qv {
namespace {

constexpr std::int64_t kInt32Max = 2147483647;
// Longer runs of digits are still a plain decimal, just too large.
constexpr std::size_t kLongestDecimal = 18;
constexpr wchar_t kConfig[] = L"Config";
constexpr wchar_t kServerSectionLabel[] = L"Quorvanex_N";
// Missing server sections named in one finding before "and N more".
constexpr std::size_t kNamedMissingSections = 5;

struct SectionSchema {
  std::wstring_view name;  // kServerSectionLabel stands for every server section
  std::vector<std::wstring_view> keys;
};

struct FileSchema {
  std::wstring_view file;
  std::vector<SectionSchema> sections;
};

// Every section and key the programs read, Ostrival.exe's keys of mail.ini
// included.
const std::vector<FileSchema>& Schema() {
  static const std::vector<FileSchema> schema = {
      {kConfigIni,
       {{kConfig, {L"Interval", L"LogDir"}},
        {L"Threshold", {L"Ping", L"DeviceManager"}},
        {L"Metrics", {L"TextfileDir"}}}},
      {kQuorvanexIni,
       {{kConfig, {L"Hardware", L"Count"}},
        {kServerSectionLabel,
         {L"Enabled", L"Server", L"Username", L"Password", L"Port", L"Display", L"Hardware", L"ProductID",
          L"VendorID"}}}},
      {kMailIni,
       {{kConfig,
         {L"MailSend", L"Body_ping", L"Body_device", L"Body", L"SmtpServer", L"SmtpPort", L"Security", L"User",
          L"Password", L"From", L"To", L"Cc", L"Subject", L"TimeoutSeconds", L"CaFile", L"VerifyCertificate",
          L"AllowPlainTextPassword"}}}},
      {kMessageIni, {{kConfig, {L"Pomvex", L"Body_ping", L"Body_device"}}}},
  };
  return schema;
}

std::wstring Folded(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = FoldCase(c);
  return out;
}

std::size_t EditDistance(std::wstring_view a, std::wstring_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      const std::size_t change = diagonal + (FoldCase(a[i - 1]) == FoldCase(b[j - 1]) ? 0 : 1);
      row[j] = std::min({above + 1, row[j - 1] + 1, change});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// Bytes that are UTF-8 and hold at least one character outside ASCII.
bool IsUtf8BeyondAscii(std::string_view bytes) {
  bool beyond = false;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    std::size_t length;
    std::uint32_t code;
    if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
      code = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      code = b & 0x0Fu;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      code = b & 0x07u;
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto c = static_cast<unsigned char>(bytes[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      code = (code << 6) | (c & 0x3Fu);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    beyond = true;
    i += length;
  }
  return beyond;
}

bool HasNonAscii(std::wstring_view text) {
  return std::any_of(text.begin(), text.end(), [](wchar_t c) { return static_cast<std::uint32_t>(c) > 0x7F; });
}

// What a number key is and how its reader takes a value that is not a plain
// decimal within range.
struct NumberRule {
  std::wstring_view range;  // "0 to 10, or 99"
  std::function<bool(std::int64_t)> allowed;
  std::function<std::wstring(std::int32_t)> effect;  // of the value the Monitor reads
};

bool Anything(std::int64_t) { return true; }

// A section holds a handful of keys: a list searched without case is enough.
bool Contains(const std::vector<std::wstring>& names, std::wstring_view name) {
  return std::any_of(names.begin(), names.end(), [&](const std::wstring& n) { return EqualsNoCase(n, name); });
}

class Checker {
 public:
  Checker(const std::wstring& directory, const CheckMachine& machine, ConfigCheck& out)
      : directory_(directory), machine_(machine), out_(out) {}

  void Run() {
    LoadSettings(out_.settings, directory_);
    for (const FileSchema& schema : Schema()) {
      const std::wstring path = JoinPath(directory_, schema.file);
      // Also a missing or unreadable file is read as the Monitor reads it.
      readers_.emplace(schema.file, std::make_unique<ProfileReader>(path));
      if (!PathExists(path)) {
        Add(schema.file, L"", L"", std::nullopt, L"missing; the Monitor takes the built-in value of every key");
        continue;
      }
      std::optional<std::string> bytes = ReadWholeFile(path);
      if (!bytes) {
        Add(schema.file, L"", L"", std::nullopt, L"cannot be read; the Monitor takes the built-in value of every key");
        out_.unreadable = true;
        continue;
      }
      CheckEncoding(schema.file, *bytes);
      CheckNames(schema);
    }
    CheckConfigIni();
    CheckQuorvanexIni();
    CheckMailIni();
    CheckMessageIni();
    // One file after the other, in the order the Monitor reads them.
    const auto fileOrder = [](const ConfigFinding& f) {
      const auto& schema = Schema();
      for (std::size_t i = 0; i < schema.size(); ++i) {
        if (schema[i].file == f.file) return i;
      }
      return schema.size();
    };
    std::stable_sort(out_.findings.begin(), out_.findings.end(),
                     [&](const ConfigFinding& a, const ConfigFinding& b) { return fileOrder(a) < fileOrder(b); });
  }

 private:
  const ProfileReader& Reader(std::wstring_view file) { return *readers_.at(std::wstring(file)); }

  void Add(std::wstring_view file, std::wstring_view section, std::wstring_view key,
           std::optional<std::wstring> value, std::wstring message) {
    if (EqualsNoCase(key, L"Password")) value.reset();
    out_.findings.push_back(ConfigFinding{std::wstring(file), std::wstring(section), std::wstring(key),
                                          std::move(value), std::move(message)});
  }

  static std::wstring SectionId(std::wstring_view file, std::wstring_view section) {
    return std::wstring(file) + L"\n" + Folded(section);
  }

  // The value as written, when the key is there. Which keys are there comes
  // from the listing of the names: one profile read per value, not two.
  std::optional<std::wstring> Raw(std::wstring_view file, std::wstring_view section, std::wstring_view key) {
    const auto keys = keys_.find(SectionId(file, section));
    if (keys == keys_.end() || !Contains(keys->second, key)) return std::nullopt;
    return Reader(file).GetString(section, key, L"");
  }

  void CheckEncoding(std::wstring_view file, const std::string& bytes) {
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
      Add(file, L"", L"", std::nullopt,
          L"starts with a UTF-8 byte order mark, which Windows does not recognise: the file is read as code "
          L"page 932, its first line is no section header, and text outside ASCII is garbled; save it as ANSI "
          L"(code page 932) or Unicode (UTF-16 LE)");
      return;
    }
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') return;  // UTF-16 LE
    if (!IsUtf8BeyondAscii(bytes)) return;
    // Only text the programs read is garbled; a comment is not.
    const ProfileReader& ini = Reader(file);
    for (const std::wstring& section : ini.SectionNames()) {
      for (const std::wstring& key : ini.KeyNames(section)) {
        if (!HasNonAscii(ini.GetString(section, key, L"")) && !HasNonAscii(key) && !HasNonAscii(section)) {
          continue;
        }
        Add(file, section, key, std::nullopt,
            L"the file is UTF-8 without a byte order mark, so it is read as code page 932 and this text "
            L"outside ASCII is garbled; save it as ANSI (code page 932) or Unicode (UTF-16 LE)");
        return;
      }
    }
  }

  const SectionSchema* FindSection(const FileSchema& schema, std::wstring_view name) const {
    for (const SectionSchema& s : schema.sections) {
      if (s.name == kServerSectionLabel ? ServerSectionNumber(name) >= 1 : EqualsNoCase(s.name, name)) return &s;
    }
    return nullptr;
  }

  std::wstring SectionSuggestion(const FileSchema& schema, std::wstring_view name) const {
    std::vector<std::wstring> candidates;
    for (const SectionSchema& s : schema.sections) {
      if (s.name != kServerSectionLabel) {
        candidates.emplace_back(s.name);
        continue;
      }
      // "Quorvanex_01", "Quorvanx_2": the server section of the same number.
      std::size_t digits = name.size();
      while (digits > 0 && name[digits - 1] >= L'0' && name[digits - 1] <= L'9') --digits;
      std::wstring_view number = name.substr(digits);
      while (number.size() > 1 && number.front() == L'0') number.remove_prefix(1);
      if (!number.empty() && number != L"0") candidates.push_back(L"Quorvanex_" + std::wstring(number));
    }
    return NearestName(name, candidates);
  }

  // Where a key that is unknown in its section does belong, if anywhere.
  std::wstring KeyHint(const FileSchema& schema, const SectionSchema& section, std::wstring_view key) const {
    for (const SectionSchema& s : schema.sections) {
      if (&s == &section) continue;
      for (std::wstring_view known : s.keys) {
        if (EqualsNoCase(known, key)) return Format(L" (it belongs in [%s])", s.name);
      }
    }
    for (const FileSchema& f : Schema()) {
      if (f.file == schema.file) continue;
      for (const SectionSchema& s : f.sections) {
        for (std::wstring_view known : s.keys) {
          if (EqualsNoCase(known, key)) return Format(L" (it belongs in %s [%s])", f.file, s.name);
        }
      }
    }
    std::vector<std::wstring> candidates(section.keys.begin(), section.keys.end());
    const std::wstring nearest = NearestName(key, candidates);
    return nearest.empty() ? std::wstring() : Format(L" (did you mean %s?)", nearest);
  }

  void CheckNames(const FileSchema& schema) {
    const ProfileReader& ini = Reader(schema.file);
    std::set<std::wstring> sectionsSeen;
    for (const std::wstring& name : ini.SectionNames()) {
      if (!sectionsSeen.insert(Folded(name)).second) {
        Add(schema.file, name, L"", std::nullopt, L"appears again; only the first section of this name is read");
        continue;
      }
      const SectionSchema* section = FindSection(schema, name);
      if (section == nullptr) {
        const std::wstring nearest = SectionSuggestion(schema, name);
        Add(schema.file, name, L"", std::nullopt,
            nearest.empty() ? std::wstring(L"unknown section; nothing reads it")
                            : Format(L"unknown section (did you mean %s?); nothing reads it", nearest));
        continue;
      }
      std::vector<std::wstring>& keysSeen = keys_[SectionId(schema.file, name)];
      for (const std::wstring& key : ini.KeyNames(name)) {
        if (Contains(keysSeen, key)) {
          Add(schema.file, name, key, std::nullopt, L"appears again in this section; only the first one counts");
          continue;
        }
        keysSeen.push_back(key);
        const bool known = std::any_of(section->keys.begin(), section->keys.end(),
                                       [&](std::wstring_view k) { return EqualsNoCase(k, key); });
        if (!known) Add(schema.file, name, key, std::nullopt, L"unknown key" + KeyHint(schema, *section, key));
      }
    }
  }

  // A key read with GetPrivateProfileIntW by the Monitor (or the Configurator).
  void CheckMonitorNumber(std::wstring_view file, std::wstring_view section, std::wstring_view key,
                          std::int32_t fallback, const NumberRule& rule) {
    const std::optional<std::wstring> raw = Raw(file, section, key);
    if (!raw || raw->empty()) return;
    const std::optional<std::int64_t> plain = ParseDigits(*raw, kLongestDecimal);
    if (plain && *plain <= kInt32Max && rule.allowed(*plain)) return;
    std::wstring why;
    if (plain && *plain > kInt32Max) {
      why = L"too large for a 32-bit number";
    } else if (plain) {
      why = Format(L"out of range (%s)", rule.range);
    } else if ((*raw)[0] == L'-' && ParseDigits(std::wstring_view(*raw).substr(1), kLongestDecimal)) {
      why = L"negative";
    } else {
      why = L"not a plain decimal";
    }
    const auto value = static_cast<std::int32_t>(Reader(file).GetInt(section, key, fallback));
    Add(file, section, key, *raw, Format(L"%s; the Monitor reads %d, %s", why, value, rule.effect(value)));
  }

  // A number key of the mail program, which refuses what is not a plain
  // decimal in range.
  void CheckMailerNumber(std::wstring_view key, std::int64_t min, std::int64_t max) {
    const std::optional<std::wstring> raw = Raw(kMailIni, kConfig, key);
    if (!raw || raw->empty()) return;
    const std::optional<std::int64_t> value = ParseDigits(*raw, 9);
    if (!value) {
      Add(kMailIni, kConfig, key, *raw, L"not a plain decimal; the mail program refuses it and sends no mail");
    } else if (*value < min || *value > max) {
      Add(kMailIni, kConfig, key, *raw,
          Format(L"out of range (%d to %d); the mail program refuses it and sends no mail", min, max));
    }
  }

  void CheckConfigIni() {
    const MonitorSettings& s = out_.settings;
    const NumberRule interval{L"0 or more", Anything, [](std::int32_t v) -> std::wstring {
                                if (v < 0) return L"so the interval stays at its built-in 1 minute";
                                if (v == 0) return L"which runs a cycle every second";
                                return Format(L"which runs a cycle every %d minutes", v);
                              }};
    CheckMonitorNumber(kConfigIni, kConfig, L"Interval", 5, interval);
    const auto threshold = [](const wchar_t* check) {
      return NumberRule{L"0 or more", Anything, [check](std::int32_t v) -> std::wstring {
                          if (v < 0) return L"so the threshold stays at its built-in 5";
                          if (v == 0) return Format(L"which switches the %s check off", check);
                          return Format(L"a threshold of %d", v);
                        }};
    };
    CheckMonitorNumber(kConfigIni, L"Threshold", L"Ping", 5, threshold(L"ping"));
    CheckMonitorNumber(kConfigIni, L"Threshold", L"DeviceManager", 5, threshold(L"device"));

    if (std::optional<std::wstring> problem = DirectoryWriteProblem(s.logDirectory)) {
      Add(kConfigIni, kConfig, L"LogDir", Raw(kConfigIni, kConfig, L"LogDir"),
          Format(L"the log directory %s cannot be made or written (%s); the log lines would be lost",
                 s.logDirectory, *problem));
    }
    if (!s.metricsDirectory.empty() && !IsDirectory(s.metricsDirectory)) {
      Add(kConfigIni, L"Metrics", L"TextfileDir", Raw(kConfigIni, L"Metrics", L"TextfileDir"),
          Format(L"the directory %s does not exist; the Monitor does not make it, so no metrics file is "
                 L"written",
                 s.metricsDirectory));
    }
    if (s.pingThreshold > 0) {
      const bool anyOn = std::any_of(s.servers.begin(), s.servers.end(),
                                     [](const QuorvanexServerInfo& info) { return info.enabled; });
      const std::optional<std::wstring> ping = Raw(kConfigIni, L"Threshold", L"Ping");
      if (!anyOn) {
        Add(kConfigIni, L"Threshold", L"Ping", ping,
            L"the ping check is on but no server of quorvanex.ini is switched on, so every cycle counts a "
            L"ping error");
      }
      if (machine_.pingRefusal) {
        Add(kConfigIni, L"Threshold", L"Ping", ping,
            Format(L"the ping check is on but this account cannot ping: %s", *machine_.pingRefusal));
      }
    }
  }

  void CheckQuorvanexIni() {
    const MonitorSettings& s = out_.settings;
    const ProfileReader& ini = Reader(kQuorvanexIni);
    const std::optional<std::wstring> hardware = Raw(kQuorvanexIni, kConfig, L"Hardware");
    out_.hardware = hardware.value_or(L"");
    if (s.deviceThreshold > 0 && out_.hardware.empty()) {
      Add(kQuorvanexIni, kConfig, L"Hardware", hardware,
          L"empty while the device check is on: the query matches every device and the first one decides");
    }
    if (out_.hardware.find(L'\'') != std::wstring::npos) {
      Add(kQuorvanexIni, kConfig, L"Hardware", hardware,
          L"holds a quote, which ends the text of the device query: the query fails and the device check "
          L"counts an error every cycle");
    }

    const NumberRule count{L"0 or more", Anything, [](std::int32_t v) -> std::wstring {
                             if (v <= 0) return L"so no server section is read";
                             return Format(L"so the sections Quorvanex_1 to Quorvanex_%d are read", v);
                           }};
    CheckMonitorNumber(kQuorvanexIni, kConfig, L"Count", 0, count);
    const auto countValue = static_cast<std::int32_t>(ini.GetInt(kConfig, L"Count", 0));

    std::vector<std::int64_t> present;
    for (const std::wstring& name : ini.SectionNames()) {
      const std::int64_t n = ServerSectionNumber(name);
      if (n >= 1) present.push_back(n);
    }
    std::sort(present.begin(), present.end());
    present.erase(std::unique(present.begin(), present.end()), present.end());

    // Count beyond the sections there are.
    std::vector<std::wstring> missing;
    std::int64_t missingCount = 0;
    std::size_t next = 0;
    for (std::int64_t n = 1; n <= countValue; ++n) {
      while (next < present.size() && present[next] < n) ++next;
      if (next < present.size() && present[next] == n) continue;
      if (missing.size() < kNamedMissingSections) missing.push_back(Format(L"[Quorvanex_%d]", n));
      ++missingCount;
      // Past the last section every number is missing: count them at once.
      if (next == present.size()) {
        missingCount += countValue - n;
        for (std::int64_t m = n + 1; m <= countValue && missing.size() < kNamedMissingSections; ++m) {
          missing.push_back(Format(L"[Quorvanex_%d]", m));
        }
        break;
      }
    }
    if (missingCount > 0) {
      std::wstring list;
      for (const std::wstring& name : missing) list += (list.empty() ? L"" : L", ") + name;
      if (missingCount > static_cast<std::int64_t>(missing.size())) {
        list += Format(L" and %d more", missingCount - static_cast<std::int64_t>(missing.size()));
      }
      Add(kQuorvanexIni, kConfig, L"Count", Raw(kQuorvanexIni, kConfig, L"Count"),
          Format(L"more than the server sections there are: no %s", list));
    }

    const NumberRule enabled{L"0 or more", Anything, [](std::int32_t v) -> std::wstring {
                               return v != 0 ? L"which switches the server on" : L"which switches the server off";
                             }};
    const NumberRule port{L"0 or more", Anything,
                          [](std::int32_t) -> std::wstring { return L"which no check uses"; }};
    std::unordered_map<std::wstring, std::wstring> firstWithAddress;
    for (std::int64_t n : present) {
      const std::wstring section = Format(L"Quorvanex_%d", n);
      if (n > countValue) {
        Add(kQuorvanexIni, section, L"", std::nullopt,
            Format(L"past Count=%d, so the Monitor does not read it", countValue));
        continue;
      }
      CheckMonitorNumber(kQuorvanexIni, section, L"Enabled", 1, enabled);
      CheckMonitorNumber(kQuorvanexIni, section, L"Port", 4003, port);
      const std::optional<std::wstring> raw = Raw(kQuorvanexIni, section, L"Server");
      const std::wstring server = raw.value_or(L"");
      if (server.empty()) {
        Add(kQuorvanexIni, section, L"Server", raw, L"empty, so the Monitor skips this section");
        continue;
      }
      const std::optional<Ipv4Octets> octets = ParseIpv4Text(server);
      if (!octets) {
        Add(kQuorvanexIni, section, L"Server", server,
            L"not a dotted IPv4 address; names are not resolved, so this server never answers");
      } else if (*octets == Ipv4Octets{255, 255, 255, 255}) {
        Add(kQuorvanexIni, section, L"Server", server, L"the broadcast address, which is never pinged");
      }
      const std::wstring key = octets ? server : Folded(server);
      auto [it, inserted] = firstWithAddress.emplace(key, section);
      if (!inserted) {
        Add(kQuorvanexIni, section, L"Server", server, Format(L"the same server as [%s]", it->second));
      }
    }
  }

  void CheckMailIni() {
    const MonitorSettings& s = out_.settings;
    const NumberRule mailSend{L"0 to 10, or 99",
                              [](std::int64_t v) { return v <= static_cast<std::int64_t>(kMailSendMaxLimit) ||
                                                          v == static_cast<std::int64_t>(kMailSendNoLimit); },
                              [](std::int32_t v) -> std::wstring {
                                const auto u = static_cast<std::uint32_t>(v);
                                if (u == 0) return L"which sends no mail";
                                if (u <= kMailSendMaxLimit) return Format(L"at most %d mails per error episode", v);
                                return L"which it takes as 99: no limit on mails per error episode";
                              }};
    CheckMonitorNumber(kMailIni, kConfig, L"MailSend", 0, mailSend);
    if (s.mailSendLimit == 0) return;

    const std::wstring mailSendValue = Raw(kMailIni, kConfig, L"MailSend").value_or(L"");
    for (const wchar_t* key : {L"SmtpServer", L"From", L"To"}) {
      if (!TrimBlanks(Raw(kMailIni, kConfig, key).value_or(L"")).empty()) continue;
      Add(kMailIni, kConfig, key, std::nullopt,
          Format(L"missing while MailSend=%s; the mail program refuses to send (exit 2)", mailSendValue));
    }
    const std::wstring security = Raw(kMailIni, kConfig, L"Security").value_or(L"starttls");
    const bool knownSecurity =
        EqualsNoCase(security, L"starttls") || EqualsNoCase(security, L"tls") || EqualsNoCase(security, L"none");
    if (!knownSecurity) {
      Add(kMailIni, kConfig, L"Security", security,
          L"not starttls, tls or none; the mail program refuses it and sends no mail");
    }
    const std::wstring user = Raw(kMailIni, kConfig, L"User").value_or(L"");
    const bool plainAllowed = Raw(kMailIni, kConfig, L"AllowPlainTextPassword").value_or(L"") == L"1";
    if (EqualsNoCase(security, L"none") && !user.empty() && !plainAllowed) {
      Add(kMailIni, kConfig, L"Security", security,
          L"User is set, so the password would cross the network in clear; use starttls or tls "
          L"(AllowPlainTextPassword=1 allows it knowingly)");
    }
    CheckMailerNumber(L"SmtpPort", 1, 65535);
    CheckMailerNumber(L"TimeoutSeconds", 1, 999999999);
    const std::wstring caFile = Raw(kMailIni, kConfig, L"CaFile").value_or(L"");
    if (!caFile.empty()) {
      if (!IsAbsolutePath(caFile)) {
        Add(kMailIni, kConfig, L"CaFile", caFile,
            L"not a full path; the mail program looks for it in the Monitor's working directory, not beside "
            L"the programs");
      } else if (!PathExists(caFile)) {
        Add(kMailIni, kConfig, L"CaFile", caFile, L"does not exist; the mail program refuses to send (exit 2)");
      }
    }
    const std::wstring mailer = JoinPath(s.exeDirectory, L"Ostrival.exe");
    if (!PathExists(mailer)) {
      Add(kMailIni, kConfig, L"MailSend", mailSendValue,
          Format(L"mail is on but the mail program %s is missing, so no mail can be sent", mailer));
    }
  }

  void CheckMessageIni() {
    const NumberRule pomvex{L"0 or more", Anything, [](std::int32_t v) -> std::wstring {
                              return v > 0 ? L"which switches the on-screen alert on"
                                           : L"which switches the on-screen alert off";
                            }};
    CheckMonitorNumber(kMessageIni, kConfig, L"Pomvex", 1, pomvex);
  }

  const std::wstring& directory_;
  const CheckMachine& machine_;
  ConfigCheck& out_;
  std::unordered_map<std::wstring, std::unique_ptr<ProfileReader>> readers_;
  // Folded key names of the first section of each name: file "\n" section.
  std::unordered_map<std::wstring, std::vector<std::wstring>> keys_;
};

}  // namespace

std::wstring NearestName(std::wstring_view name, const std::vector<std::wstring>& candidates) {
  constexpr std::size_t kMaxDistance = 2;
  std::wstring best;
  std::size_t bestDistance = kMaxDistance + 1;
  for (const std::wstring& candidate : candidates) {
    const std::size_t d = EditDistance(name, candidate);
    // A short name two letters off is another name, not a typing error.
    if (d < bestDistance && d < candidate.size()) {
      best = candidate;
      bestDistance = d;
    }
  }
  return best;
}

std::wstring FormatFinding(const ConfigFinding& f) {
  std::wstring line = f.file;
  if (!f.section.empty()) line += L" [" + f.section + L"]";
  if (!f.key.empty()) line += L" " + f.key;
  if (f.value) line += L"=\"" + *f.value + L"\"";
  line += L": " + f.message;
  return line;
}

ConfigCheck CheckConfiguration(const std::wstring& directory, const CheckMachine& machine) {
  ConfigCheck result;
  Checker(directory, machine, result).Run();
  return result;
}

}  // namespace qv
