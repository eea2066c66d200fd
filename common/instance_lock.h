#pragma once
// One Monitor per program folder: two would share the mail copy
// (mail_12345.ini) and rotate one log. Linux: an exclusive flock on the
// folder itself; Windows: a named mutex in the Global namespace whose name
// holds a hash of the folder's full path.
#include <memory>
#include <string>

namespace qv {

class InstanceLock {
 public:
  enum class Result {
    Acquired,
    Busy,         // a Monitor of this folder runs
    Unavailable,  // the lock could not be tried at all (the folder unreadable)
  };

  InstanceLock();
  ~InstanceLock();
  InstanceLock(InstanceLock&&) noexcept;
  InstanceLock& operator=(InstanceLock&&) noexcept;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Takes `folder` for this process until Release or destruction. A query
  // (MonitorRunsIn) holds the lock for an instant, so a busy folder is tried
  // again for a second before the answer is Busy.
  Result Acquire(const std::wstring& folder);
  void Release();
  bool Held() const;

 private:
  Result TryAcquire(const std::wstring& folder);

  struct Holder;
  std::unique_ptr<Holder> holder_;
};

// True when a Monitor holds `folder` now (what `quorvanexctl status` asks).
bool MonitorRunsIn(const std::wstring& folder);

}  // namespace qv
