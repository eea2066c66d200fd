#include <windows.h>

#include "common/format.h"
#include "ctl/directory_access.h"

namespace qv {
namespace {

// "C:\x\log" -> "C:\x" -> "C:\" -> nothing.
std::wstring Parent(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return {};
  if (slash == 2 && path[1] == L':') return path.size() > 3 ? path.substr(0, 3) : std::wstring();
  if (slash < 2) return {};
  return path.substr(0, slash);
}

}  // namespace

std::optional<std::wstring> DirectoryWriteProblem(const std::wstring& path) {
  std::wstring level = path;
  while (level.size() > 3 && (level.back() == L'\\' || level.back() == L'/')) level.pop_back();
  // The nearest level that exists: the Monitor makes the ones below it.
  for (;;) {
    const DWORD attributes = GetFileAttributesW(level.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return Format(L"%s is not a directory", level);
      return std::nullopt;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_INVALID_NAME) {
      return Format(L"%s cannot be reached (error %u)", level, static_cast<unsigned>(error));
    }
    const std::wstring parent = Parent(level);
    if (parent.empty()) return Format(L"%s does not exist", level);
    level = parent;
  }
}

}  // namespace qv
