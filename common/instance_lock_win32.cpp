#include <windows.h>

#include <cstdint>

#include "common/handles_win32.h"
#include "common/instance_lock.h"

namespace qv {
namespace {

// The folder as the file system names it, whatever spelling led to it
// (short names, links, a trailing separator), in invariant upper case:
// Windows paths do not tell case apart.
std::wstring FolderIdentity(const std::wstring& folder) {
  std::wstring path;
  const UniqueKernelHandle dir(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (dir) {
    const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    DWORD size = GetFinalPathNameByHandleW(dir.Get(), nullptr, 0, flags);
    path.resize(size);
    size = size == 0 ? 0 : GetFinalPathNameByHandleW(dir.Get(), path.data(), size, flags);
    path.resize(size < path.size() ? size : 0);
  }
  if (path.empty()) {
    DWORD size = GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr);
    path.resize(size);
    size = size == 0 ? 0 : GetFullPathNameW(folder.c_str(), size, path.data(), nullptr);
    path.resize(size < path.size() ? size : 0);
  }
  if (path.empty()) path = folder;
  while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  std::wstring upper(path.size(), L'\0');
  const int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, path.c_str(), static_cast<int>(path.size()),
                              upper.data(), static_cast<int>(upper.size()), nullptr, nullptr, 0);
  return n == static_cast<int>(path.size()) ? upper : path;
}

// Global: a service runs in session 0, a console run in the user's session.
std::wstring MutexName(const std::wstring& folder) {
  // FNV-1a, 64 bits, over the UTF-16 code units (low byte first).
  std::uint64_t hash = 14695981039346656037ULL;
  for (const wchar_t unit : FolderIdentity(folder)) {
    for (const unsigned byte : {unit & 0xFFu, (unit >> 8) & 0xFFu}) {
      hash ^= byte;
      hash *= 1099511628211ULL;
    }
  }
  std::wstring name = L"Global\\QuorvanexMonitor-";
  for (int shift = 60; shift >= 0; shift -= 4) name += L"0123456789ABCDEF"[(hash >> shift) & 0xF];
  return name;
}

}  // namespace

struct InstanceLock::Holder {
  UniqueKernelHandle mutex;
};

InstanceLock::InstanceLock() = default;
InstanceLock::~InstanceLock() = default;
InstanceLock::InstanceLock(InstanceLock&&) noexcept = default;
InstanceLock& InstanceLock::operator=(InstanceLock&&) noexcept = default;

// The mutex exists while some Monitor of the folder holds a handle to it;
// only existence counts, so no thread has to own it.
InstanceLock::Result InstanceLock::TryAcquire(const std::wstring& folder) {
  const std::wstring name = MutexName(folder);
  SetLastError(ERROR_SUCCESS);
  UniqueKernelHandle mutex(CreateMutexW(nullptr, FALSE, name.c_str()));
  const DWORD error = GetLastError();
  // One that another account made may deny us access: it exists all the same.
  if (!mutex) return error == ERROR_ACCESS_DENIED ? Result::Busy : Result::Unavailable;
  if (error == ERROR_ALREADY_EXISTS) return Result::Busy;
  holder_ = std::make_unique<Holder>(Holder{std::move(mutex)});
  return Result::Acquired;
}

void InstanceLock::Release() { holder_.reset(); }

bool InstanceLock::Held() const { return holder_ != nullptr; }

bool MonitorRunsIn(const std::wstring& folder) {
  const UniqueKernelHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, MutexName(folder).c_str()));
  return mutex || GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace qv
