#pragma once
// One owner for every kind of operating-system handle. A traits struct per
// kind says what the handle is, which values mean "none" and how to close it:
//
//   struct Traits {
//     using Handle = ...;
//     static Handle Invalid() noexcept;         // what an empty owner holds
//     static bool IsValid(Handle h) noexcept;   // false for every "none" value
//     static void Close(Handle h) noexcept;     // called for valid handles only
//   };
#include <utility>

namespace qv {

template <class Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() noexcept : handle_(Traits::Invalid()) {}
  explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Reset(); }

  Handle Get() const noexcept { return handle_; }
  bool IsValid() const noexcept { return Traits::IsValid(handle_); }
  explicit operator bool() const noexcept { return IsValid(); }

  // Gives the handle up without closing it.
  Handle Release() noexcept { return std::exchange(handle_, Traits::Invalid()); }
  // Closes the handle held, if any, and takes `handle`.
  void Reset(Handle handle = Traits::Invalid()) noexcept {
    const Handle old = std::exchange(handle_, handle);
    if (Traits::IsValid(old)) Traits::Close(old);
  }
  // For APIs that hand a new handle back through a pointer: closes the one
  // held and lets the call fill the slot.
  Handle* Receive() noexcept {
    Reset();
    return &handle_;
  }

 private:
  Handle handle_;
};

}  // namespace qv
