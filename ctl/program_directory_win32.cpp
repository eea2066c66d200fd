#include <windows.h>

#include <vector>

#include "common/files.h"
#include "common/handles_win32.h"
#include "common/system.h"
#include "ctl/program_directory.h"

namespace qv {
namespace {

// GetFinalPathNameByHandleW names the file with a "\\?\" prefix.
std::wstring WithoutLongPathPrefix(std::wstring path) {
  constexpr std::wstring_view unc = L"\\\\?\\UNC\\";
  constexpr std::wstring_view local = L"\\\\?\\";
  if (path.starts_with(unc)) return L"\\\\" + path.substr(unc.size());
  if (path.starts_with(local)) return path.substr(local.size());
  return path;
}

std::wstring FinalPath(const std::wstring& path) {
  UniqueKernelHandle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return {};
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return {};
    if (n < buffer.size()) return WithoutLongPathPrefix(std::wstring(buffer.data(), n));
    buffer.resize(n + 1);
  }
}

}  // namespace

std::wstring ProgramDirectory() {
  const std::wstring module = ExecutablePath();
  if (module.empty()) return {};
  std::wstring path = FinalPath(module);
  if (path.empty()) path = module;  // no handle to ask: the name it was started by
  const std::size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::optional<std::wstring> FullDirectoryPath(const std::wstring& path) {
  if (path.empty() || !IsDirectory(path)) return std::nullopt;
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return std::nullopt;
  std::wstring full(size, L'\0');
  const DWORD n = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (n == 0 || n >= size) return std::nullopt;
  full.resize(n);
  // "C:\" keeps its separator; "C:\x\" loses it.
  while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
  return full;
}

}  // namespace qv
