#pragma once
// INI files as the Windows private-profile functions see them. On Windows the
// functions themselves; elsewhere IniFile, which reproduces what they do.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Buffer size, in UTF-16 units, of every string read: at most 1023 are kept.
inline constexpr std::size_t kProfileBufferSize = 1024;

// A read-only view of one INI file, opened once for a series of reads.
class ProfileReader {
 public:
  explicit ProfileReader(std::wstring path);
  ~ProfileReader();
  ProfileReader(const ProfileReader&) = delete;
  ProfileReader& operator=(const ProfileReader&) = delete;

  // GetPrivateProfileIntW: the unsigned result; cast to int32_t for a signed one.
  std::uint32_t GetInt(std::wstring_view section, std::wstring_view key, std::int32_t fallback) const;
  // GetPrivateProfileStringW with a buffer of kProfileBufferSize units.
  std::wstring GetString(std::wstring_view section, std::wstring_view key,
                         std::wstring_view fallback) const;
  // Names of all sections, in file order (GetPrivateProfileSectionNamesW).
  std::vector<std::wstring> SectionNames() const;
  // Names of the keys of the first section named `section`, in file order,
  // repeated names included; lines without "=" are no keys
  // (GetPrivateProfileSectionW).
  std::vector<std::wstring> KeyNames(std::wstring_view section) const;

  const std::wstring& Path() const { return path_; }

 private:
  struct Impl;
  std::wstring path_;
  std::unique_ptr<Impl> impl_;
};

// WritePrivateProfileStringW(section, key, value, path).
[[nodiscard]] bool WriteProfileValue(const std::wstring& path, std::wstring_view section,
                                     std::wstring_view key, std::wstring_view value);

}  // namespace qv
