// INI reader and writer: any bytes parse, an untouched file serialises back
// byte for byte, and a value written with Set is what a reader of the written
// file finds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/ini_file.h"

namespace {

// Names and values the writer must carry through unchanged: no blanks at the
// ends, no quotes, brackets, "=", ";" or line breaks.
std::wstring CleanText(const std::uint8_t*& data, std::size_t& size, std::size_t maxLength, bool allowEmpty) {
  static const wchar_t kAlphabet[] = L"abcXYZ019_-.\\%&\u30c6\u30b9\u30c8\uff21";
  constexpr std::size_t kAlphabetSize = sizeof kAlphabet / sizeof kAlphabet[0] - 1;
  std::wstring out;
  std::size_t length = 0;
  if (size > 0) {
    length = data[0] % (maxLength + 1);
    ++data;
    --size;
  }
  for (std::size_t i = 0; i < length && size > 0; ++i, ++data, --size) {
    out.push_back(kAlphabet[data[0] % kAlphabetSize]);
  }
  if (out.empty() && !allowEmpty) out = L"k";
  return out;
}

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first bytes choose what to write; the rest is the file.
  const std::uint8_t* p = data;
  std::size_t left = size;
  std::wstring section = CleanText(p, left, 8, false);
  std::wstring key = CleanText(p, left, 8, false);
  std::wstring value = CleanText(p, left, 16, true);
  std::string bytes(reinterpret_cast<const char*>(p), left);

  qv::IniFile ini = qv::IniFile::Parse(bytes);
  Require(ini.Serialize() == bytes);
  for (const std::wstring& name : ini.SectionNames()) {
    if (auto found = ini.Find(name, key)) (void)qv::IniFile::ParseInteger(*found);
  }

  ini.Set(section, key, value);
  Require(ini.Find(section, key) == value);
  std::string written = ini.Serialize();
  qv::IniFile reread = qv::IniFile::Parse(written);
  Require(reread.Find(section, key) == value);
  Require(reread.Serialize() == written);
  // A second write of the same value changes nothing.
  Require(!reread.Set(section, key, value));
  return 0;
}
