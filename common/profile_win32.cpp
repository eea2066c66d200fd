#include <windows.h>

#include <vector>

#include "common/profile.h"

namespace qv {

struct ProfileReader::Impl {};

ProfileReader::ProfileReader(std::wstring path) : path_(std::move(path)) {}
ProfileReader::~ProfileReader() = default;

std::uint32_t ProfileReader::GetInt(std::wstring_view section, std::wstring_view key,
                                    std::int32_t fallback) const {
  return GetPrivateProfileIntW(std::wstring(section).c_str(), std::wstring(key).c_str(), fallback,
                               path_.c_str());
}

std::wstring ProfileReader::GetString(std::wstring_view section, std::wstring_view key,
                                      std::wstring_view fallback) const {
  wchar_t buffer[kProfileBufferSize];
  DWORD n = GetPrivateProfileStringW(std::wstring(section).c_str(), std::wstring(key).c_str(),
                                     std::wstring(fallback).c_str(), buffer,
                                     static_cast<DWORD>(kProfileBufferSize), path_.c_str());
  // Up to the first NUL, as every caller that copies the buffer sees it.
  DWORD length = 0;
  while (length < n && buffer[length] != L'\0') ++length;
  return std::wstring(buffer, length);
}

std::vector<std::wstring> ProfileReader::SectionNames() const {
  std::vector<wchar_t> buffer(4096);
  for (;;) {
    DWORD n = GetPrivateProfileSectionNamesW(buffer.data(), static_cast<DWORD>(buffer.size()),
                                             path_.c_str());
    if (n + 2 < buffer.size() || buffer.size() >= (1u << 26)) {
      std::vector<std::wstring> names;
      for (DWORD i = 0; i < n;) {
        std::wstring name(buffer.data() + i);
        i += static_cast<DWORD>(name.size()) + 1;
        names.push_back(std::move(name));
      }
      return names;
    }
    buffer.resize(buffer.size() * 4);
  }
}

std::vector<std::wstring> ProfileReader::KeyNames(std::wstring_view section) const {
  const std::wstring name(section);
  std::vector<wchar_t> buffer(8192);
  DWORD n = 0;
  for (;;) {
    n = GetPrivateProfileSectionW(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()), path_.c_str());
    if (n + 2 < buffer.size() || buffer.size() >= (1u << 26)) break;
    buffer.resize(buffer.size() * 4);
  }
  // "key=value" strings, each ended by a NUL.
  std::vector<std::wstring> names;
  for (DWORD i = 0; i < n;) {
    const std::wstring_view entry(buffer.data() + i);
    i += static_cast<DWORD>(entry.size()) + 1;
    const std::size_t eq = entry.find(L'=');
    if (eq == std::wstring_view::npos || entry.starts_with(L';')) continue;
    std::wstring_view key = entry.substr(0, eq);
    while (!key.empty() && (key.back() == L' ' || key.back() == L'\t')) key.remove_suffix(1);
    names.emplace_back(key);
  }
  return names;
}

bool WriteProfileValue(const std::wstring& path, std::wstring_view section, std::wstring_view key,
                        std::wstring_view value) {
  return WritePrivateProfileStringW(std::wstring(section).c_str(), std::wstring(key).c_str(),
                                    std::wstring(value).c_str(), path.c_str()) != 0;
}

}  // namespace qv
