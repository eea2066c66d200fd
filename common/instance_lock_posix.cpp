#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

#include "common/handles_posix.h"
#include "common/instance_lock.h"
#include "common/text_util.h"

namespace qv {
namespace {

// Any account that can read the folder can open it like this; the lock is
// dropped with the last descriptor, which the mail program does not inherit.
UniqueFd OpenFolder(const std::wstring& folder) {
  return UniqueFd(open(WideToUtf8(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

}  // namespace

struct InstanceLock::Holder {
  UniqueFd folder;
};

InstanceLock::InstanceLock() = default;
InstanceLock::~InstanceLock() = default;
InstanceLock::InstanceLock(InstanceLock&&) noexcept = default;
InstanceLock& InstanceLock::operator=(InstanceLock&&) noexcept = default;

InstanceLock::Result InstanceLock::TryAcquire(const std::wstring& folder) {
  UniqueFd fd = OpenFolder(folder);
  if (!fd) return Result::Unavailable;
  if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? Result::Busy : Result::Unavailable;
  holder_ = std::make_unique<Holder>(Holder{std::move(fd)});
  return Result::Acquired;
}

void InstanceLock::Release() { holder_.reset(); }

bool InstanceLock::Held() const { return holder_ != nullptr; }

bool MonitorRunsIn(const std::wstring& folder) {
  const UniqueFd fd = OpenFolder(folder);
  // Shared, so that two queries never see each other; closing drops it.
  return fd && flock(fd.Get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

}  // namespace qv
