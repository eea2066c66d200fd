#pragma once
// An INI file with the observable behaviour of the Windows private-profile
// functions: case-insensitive names, first section and first key win, blanks
// trimmed, one pair of outer quotes removed, ";" comments. A write changes one
// line (or adds one) and leaves every other byte as it was.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qv {

class IniFile {
 public:
  enum class Encoding { Ansi, Utf16Le };  // ANSI = code page 932

  IniFile() = default;
  [[nodiscard]] static IniFile Parse(std::string bytes);

  // The value of the first `key` in the first section named `section`, or
  // nothing when the section, the key or its "=" is missing.
  std::optional<std::wstring> Find(std::wstring_view section, std::wstring_view key) const;
  std::vector<std::wstring> SectionNames() const;
  // Names of the entries with "=" in the first section named `section`.
  std::vector<std::wstring> KeyNames(std::wstring_view section) const;

  // Sets a value as WritePrivateProfileStringW does; false when nothing changed.
  bool Set(std::wstring_view section, std::wstring_view key, std::wstring_view value);
  [[nodiscard]] std::string Serialize() const;
  Encoding GetEncoding() const { return encoding_; }

  // RtlUnicodeStringToInteger, base 0, wrapping to 32 bits.
  static std::uint32_t ParseInteger(std::wstring_view text);

 private:
  enum class Kind { Other, Section, Entry, EntryNoValue };
  struct Line {
    std::string raw;     // bytes of the line, terminator included
    std::string ending;  // its terminator bytes
    Kind kind = Kind::Other;
    std::wstring name;
    std::wstring value;
  };

  // Parses `raw` into a line put before line `at` (by default after the last).
  void AddLine(std::string raw, std::size_t endingBytes, std::size_t at = static_cast<std::size_t>(-1));
  void Reindex();
  std::string Encode(std::wstring_view text) const;
  std::string NewLine() const;
  std::size_t FindSection(std::wstring_view section) const;  // line index or npos

  Encoding encoding_ = Encoding::Ansi;
  std::string bom_;
  std::vector<Line> lines_;
  std::unordered_map<std::wstring, std::size_t> sections_;  // folded name -> header line
};

}  // namespace qv
