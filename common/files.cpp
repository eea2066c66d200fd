#include "common/files.h"

#include <cstdint>

#include "common/system.h"

namespace qv {
namespace {

constexpr std::size_t kRandomBytes = 8;

std::wstring TemporaryPrefix(const std::wstring& name) { return L"." + name + L"."; }

}  // namespace

std::optional<HeldDirectory> OpenDirectoryCreatingLevels(const std::wstring& path,
                                                         const std::wstring& programDirectory) {
  return OpenDirectoryLevels(path, programDirectory, true);
}

std::optional<HeldDirectory> OpenExistingDirectory(const std::wstring& path, const std::wstring& programDirectory) {
  return OpenDirectoryLevels(path, programDirectory, false);
}

std::wstring NewTemporaryName(const std::wstring& name) {
  std::uint8_t random[kRandomBytes];
  if (!FillRandom(random, sizeof random)) return std::wstring();
  static const wchar_t kHex[] = L"0123456789abcdef";
  std::wstring out = TemporaryPrefix(name);
  for (std::uint8_t byte : random) {
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
  }
  return out;
}

bool IsTemporaryName(std::wstring_view file, const std::wstring& name) {
  const std::wstring prefix = TemporaryPrefix(name);
  if (file.size() != prefix.size() + 2 * kRandomBytes || file.substr(0, prefix.size()) != prefix) return false;
  return file.find_first_not_of(L"0123456789abcdef", prefix.size()) == std::wstring_view::npos;
}

}  // namespace qv
