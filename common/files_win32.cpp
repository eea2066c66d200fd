#include <windows.h>

#include <aclapi.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "common/file_security_win32.h"
#include "common/files.h"
#include "common/format.h"
#include "common/handles_win32.h"
#include "common/system.h"

namespace qv {
namespace {

constexpr int kReplaceAttempts = 10;
constexpr DWORD kReplaceRetryMs = 20;
// A temporary file untouched for this long was left by a writer that died.
constexpr ULONGLONG kStaleTemporaryTicks = 600ULL * 10000000ULL;  // 100 ns units

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

bool HasAttributes(HANDLE handle, DWORD wanted, DWORD unwanted) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) return false;
  return (info.dwFileAttributes & wanted) == wanted && (info.dwFileAttributes & unwanted) == 0;
}

// A file on disk that is neither a directory nor a reparse point: no pipe, no
// device, no link.
bool IsPlainFile(HANDLE handle) {
  return HasAttributes(handle, 0, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
}

bool IsPlainFile(const std::wstring& path) {
  UniqueKernelHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return file && IsPlainFile(file.Get());
}

// Opens a directory, or with `reparse` the reparse point at `path` itself.
// Without FILE_SHARE_DELETE: nobody can move it while the handle is held.
UniqueKernelHandle OpenDirectoryHandle(const std::wstring& path, bool reparse) {
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
  if (reparse) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  return UniqueKernelHandle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags,
                                        nullptr));
}

bool SameOwner(HANDLE a, HANDLE b) {
  PSID ownerA = nullptr;
  PSID ownerB = nullptr;
  UniqueSecurityDescriptor descriptorA;
  UniqueSecurityDescriptor descriptorB;
  if (GetSecurityInfo(a, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &ownerA, nullptr, nullptr, nullptr,
                      descriptorA.Receive()) != ERROR_SUCCESS ||
      GetSecurityInfo(b, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &ownerB, nullptr, nullptr, nullptr,
                      descriptorB.Receive()) != ERROR_SUCCESS) {
    return false;
  }
  return ownerA != nullptr && ownerB != nullptr && EqualSid(ownerA, ownerB);
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Where the levels of `path` begin: after "C:\", after "\\server\share\", or at 0.
std::size_t FirstLevel(const std::wstring& path) {
  if (path.size() >= 2 && path[1] == L':') return path.size() > 2 && IsSeparator(path[2]) ? 3 : 2;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    std::size_t at = 2;
    for (int part = 0; part < 2 && at < path.size(); ++part) {
      while (at < path.size() && !IsSeparator(path[at])) ++at;
      if (at < path.size()) ++at;
    }
    return at;
  }
  return IsSeparator(path[0]) ? 1 : 0;
}

// Deletes the file open as `file` (with DELETE access), whatever name it has now.
void DeleteOpenFile(HANDLE file) {
  FILE_DISPOSITION_INFO dispose{};
  dispose.DeleteFile = TRUE;
  SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose);
}

// Gives the file open as `file` the full path `path`, replacing what has it.
bool RenameOpenFile(HANDLE file, const std::wstring& path) {
  const DWORD nameBytes = static_cast<DWORD>(path.size() * sizeof(wchar_t));
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = nameBytes;
  std::copy(path.begin(), path.end(), info->FileName);
  return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size())) != 0;
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
  if (!IsPlainFile(from)) return false;
  // A protected copy exists with its DACL before any text is copied into it
  // (overwriting keeps the target's DACL), so it never carries the folder's
  // rights; the DACL is set again afterwards in case it was not kept, or
  // the protected file could not be made first.
  if (ownerOnly) static_cast<void>(CreateAdministratorsOnlyFile(to));
  const bool copied = CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
  if (ownerOnly && !RestrictToAdministrators(to)) {
    DeleteFileW(to.c_str());
    return false;
  }
  return copied;
}

bool CreateNewFile(const std::wstring& path, bool ownerOnly) {
  if (ownerOnly) return CreateAdministratorsOnlyFile(path);
  UniqueKernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return file.IsValid();
}

AppendResult AppendToFile(const std::wstring& path, std::string_view bytes) {
  AppendResult result;
  // The name itself, not what a reparse point there leads to; then only a file on disk.
  UniqueKernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file || !IsPlainFile(file.Get())) return result;
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
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file || !IsPlainFile(file.Get())) return false;
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

std::wstring UnreadableReason(const std::wstring& path) {
  // CreateFileW calls a directory "access denied".
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return L"a directory";
  UniqueKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    switch (error) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_INVALID_NAME:
        return L"no such file";
      case ERROR_ACCESS_DENIED:
        return L"permission denied";
      case ERROR_SHARING_VIOLATION:
        return L"in use by another program";
      default:
        return Format(L"Windows error %u", error);
    }
  }
  if (GetFileType(file.Get()) != FILE_TYPE_DISK) return L"not a regular file";
  return L"";
}

std::optional<std::uint64_t> RegularFileSize(const std::wstring& path) {
  UniqueKernelHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  LARGE_INTEGER size{};
  if (!file || !IsPlainFile(file.Get()) || !GetFileSizeEx(file.Get(), &size)) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

bool MoveFileReplace(const std::wstring& from, const std::wstring& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool ClearReadOnly(const std::wstring& path) {
  // The name itself: the attribute of whatever a reparse point leads to stays.
  UniqueKernelHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  FILE_BASIC_INFO info{};
  if (!file || !IsPlainFile(file.Get()) ||
      !GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &info, sizeof info)) {
    return false;
  }
  if ((info.FileAttributes & FILE_ATTRIBUTE_READONLY) == 0) return true;
  info.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  // 0 would mean "unchanged".
  if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  // Zero times are left as they are.
  info.CreationTime.QuadPart = info.LastAccessTime.QuadPart = info.LastWriteTime.QuadPart =
      info.ChangeTime.QuadPart = 0;
  return SetFileInformationByHandle(file.Get(), FileBasicInfo, &info, sizeof info) != 0;
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

struct HeldDirectory::Handle {
  UniqueKernelHandle handle;
};

HeldDirectory::HeldDirectory(std::unique_ptr<Handle> handle, std::wstring path)
    : handle_(std::move(handle)), path_(std::move(path)) {}
HeldDirectory::HeldDirectory(HeldDirectory&&) noexcept = default;
HeldDirectory& HeldDirectory::operator=(HeldDirectory&&) noexcept = default;
HeldDirectory::~HeldDirectory() = default;

// Neither the held directory nor a level above it can be renamed or removed
// while the handle (which does not share delete) is open.
bool HeldDirectory::IsAt(const std::wstring&) const { return true; }

std::optional<HeldDirectory> OpenDirectoryLevels(const std::wstring& path, const std::wstring& programDirectory,
                                                 bool make) {
  if (path.empty()) return std::nullopt;
  // Level by level, so that no level on the way is a reparse point that
  // someone else planted.
  for (std::size_t end = FirstLevel(path); end <= path.size(); ++end) {
    if (end < path.size() && !IsSeparator(path[end])) continue;
    const std::wstring level = path.substr(0, end);
    if (level.empty() || IsSeparator(level.back())) continue;
    DWORD attributes = GetFileAttributesW(level.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES && make) {
      CreateDirectoryW(level.c_str(), nullptr);
      attributes = GetFileAttributesW(level.c_str());
    }
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return std::nullopt;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      const UniqueKernelHandle link = OpenDirectoryHandle(level, true);
      const UniqueKernelHandle program = OpenDirectoryHandle(programDirectory, false);
      if (!link || !program || !SameOwner(link.Get(), program.Get())) return std::nullopt;
    }
  }
  auto handle = std::make_unique<HeldDirectory::Handle>();
  handle->handle = OpenDirectoryHandle(path, false);
  if (!handle->handle || !HasAttributes(handle->handle.Get(), FILE_ATTRIBUTE_DIRECTORY, 0)) return std::nullopt;
  return HeldDirectory(std::move(handle), path);
}

bool ReplaceFileAtomically(const HeldDirectory& directory, const std::wstring& name, std::string_view bytes) {
  const std::wstring temp = NewTemporaryName(name);
  if (temp.empty()) return false;
  // Win32 makes a file only by its full path; the held directory keeps that
  // path leading to it. CREATE_NEW opens nothing that exists, a reparse point
  // included, so nothing planted is followed or overwritten.
  UniqueKernelHandle file(CreateFileW(JoinPath(directory.Path(), temp).c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) return false;
  bool ok = IsPlainFile(file.Get()) && WriteAll(file.Get(), bytes);
  // The open file itself takes the name: what moves is the file made above,
  // whatever has its name by now. (FILE_RENAME_INFO's RootDirectory would
  // name the target relative to the held directory, but Wine turns the name
  // into one below the current directory first and fails.) A reader holding
  // the old file open (most runtimes open without FILE_SHARE_DELETE) holds
  // the rename up for microseconds.
  const std::wstring path = JoinPath(directory.Path(), name);
  for (int attempt = 1; ok; ++attempt) {
    if (RenameOpenFile(file.Get(), path)) return true;
    const DWORD error = GetLastError();
    if (attempt == kReplaceAttempts || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) break;
    Sleep(kReplaceRetryMs);
  }
  // By the handle: what goes is the file made above, whatever is at its name.
  DeleteOpenFile(file.Get());
  return false;
}

void RemoveStaleTemporaries(const HeldDirectory& directory, const std::wstring& name) {
  // Ours are those with the owner that a file made here now gets (under Wine
  // that is not the token's default owner), so one is made to see.
  const UniqueKernelHandle probe(CreateFileW(JoinPath(directory.Path(), NewTemporaryName(name)).c_str(),
                                             READ_CONTROL | DELETE, 0, nullptr, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT |
                                                 FILE_FLAG_DELETE_ON_CLOSE,
                                             nullptr));
  if (!probe) return;
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  const ULONGLONG nowTicks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  WIN32_FIND_DATAW data;
  UniqueFindHandle find(FindFirstFileW(JoinPath(directory.Path(), L"*").c_str(), &data));
  if (!find) return;
  do {
    if (!IsTemporaryName(data.cFileName, name)) continue;
    UniqueKernelHandle file(CreateFileW(JoinPath(directory.Path(), data.cFileName).c_str(),
                                        DELETE | READ_CONTROL | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !IsPlainFile(file.Get()) || !GetFileInformationByHandle(file.Get(), &info)) continue;
    const ULONGLONG written =
        (static_cast<ULONGLONG>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
    if (written + kStaleTemporaryTicks > nowTicks || !SameOwner(file.Get(), probe.Get())) continue;
    DeleteOpenFile(file.Get());
  } while (FindNextFileW(find.Get(), &data));
}

}  // namespace qv
