#include <windows.h>

#include <algorithm>
#include <climits>

#include "common/files.h"
#include "common/handles_win32.h"
#include "common/system.h"

namespace qv {

bool PathExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MakeDirectory(const std::wstring& path) { return CreateDirectoryW(path.c_str(), nullptr) != 0; }

bool RemoveFile(const std::wstring& path) { return DeleteFileW(path.c_str()) != 0; }

bool MoveFileNoReplace(const std::wstring& from, const std::wstring& to) {
  return MoveFileW(from.c_str(), to.c_str()) != 0;
}

bool CopyFileReplace(const std::wstring& from, const std::wstring& to, bool /*ownerOnly*/) {
  return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

AppendResult AppendToFile(const std::wstring& path, std::string_view bytes) {
  AppendResult result;
  UniqueKernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return result;
  result.opened = true;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size)) return result;  // no length to cut back to: write nothing
  result.sizeBefore = static_cast<std::uint64_t>(size.QuadPart);
  LARGE_INTEGER zero{};
  SetFilePointerEx(file.Get(), zero, nullptr, FILE_END);
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    // A full disk or a range another program has locked ends the write here.
    if (!WriteFile(file.Get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) break;
    done += written;
  }
  result.complete = done == bytes.size();
  result.sizeAfter = GetFileSizeEx(file.Get(), &size) ? static_cast<std::uint64_t>(size.QuadPart)
                                                      : result.sizeBefore + done;
  return result;
}

bool TruncateFile(const std::wstring& path, std::uint64_t size) {
  UniqueKernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(size);
  return SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) && SetEndOfFile(file.Get());
}

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  UniqueKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::string out;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) return std::nullopt;
    if (got == 0) break;
    out.append(buffer, got);
  }
  return out;
}

std::vector<std::wstring> ListFilesEndingWith(const std::wstring& directory, std::wstring_view suffix) {
  std::vector<std::wstring> names;
  std::wstring pattern = JoinPath(directory, L"*");
  pattern.append(suffix);
  WIN32_FIND_DATAW data;
  UniqueFindHandle find(FindFirstFileW(pattern.c_str(), &data));
  if (!find) return names;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.emplace_back(data.cFileName);
  } while (FindNextFileW(find.Get(), &data));
  return names;
}

}  // namespace qv
