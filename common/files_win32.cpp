#include <windows.h>

#include <algorithm>
#include <climits>

#include "common/file_security_win32.h"
#include "common/files.h"
#include "common/handles_win32.h"
#include "common/system.h"

namespace qv {
namespace {

constexpr int kReplaceAttempts = 10;
constexpr DWORD kReplaceRetryMs = 20;

bool WriteAll(HANDLE file, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

}  // namespace

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

bool CopyFileReplace(const std::wstring& from, const std::wstring& to, bool ownerOnly) {
  // A protected copy exists with its DACL before any text is copied into it
  // (overwriting keeps the target's DACL), so it never carries the folder's
  // rights; the DACL is set again afterwards in case it was not kept.
  if (ownerOnly) CreateAdministratorsOnlyFile(to);
  const bool copied = CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
  if (ownerOnly && !RestrictToAdministrators(to)) {
    DeleteFileW(to.c_str());
    return false;
  }
  return copied;
}

std::optional<std::uint64_t> AppendToFile(const std::wstring& path, std::string_view bytes) {
  UniqueKernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER zero{};
  SetFilePointerEx(file.Get(), zero, nullptr, FILE_END);
  WriteAll(file.Get(), bytes);
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size)) return std::uint64_t{0};
  return static_cast<std::uint64_t>(size.QuadPart);
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

bool ReplaceFileAtomically(const std::wstring& path, std::string_view bytes) {
  const std::wstring temp = path + L".tmp";
  bool ok = false;
  {
    UniqueKernelHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    ok = WriteAll(file.Get(), bytes);
  }
  // The handle is closed before the rename: an open file cannot be moved.
  // Nor can a file be replaced while a reader has it open (most runtimes open
  // without FILE_SHARE_DELETE); an exporter reads it for microseconds.
  for (int attempt = 1; ok; ++attempt) {
    if (MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    const DWORD error = GetLastError();
    if (attempt == kReplaceAttempts || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) break;
    Sleep(kReplaceRetryMs);
  }
  DeleteFileW(temp.c_str());
  return false;
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
