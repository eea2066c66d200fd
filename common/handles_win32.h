#pragma once
// Owners for the Windows handle kinds the programs use.
#include <windows.h>

#include "common/unique_handle.h"

namespace qv {

// Kernel objects: processes, threads, files, events. Some functions report
// failure with a null handle, others with INVALID_HANDLE_VALUE; neither is closed.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static HANDLE Invalid() noexcept { return nullptr; }
  static bool IsValid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

struct FindHandleTraits {
  using Handle = HANDLE;
  static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) noexcept { ::FindClose(h); }
};
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;

struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static SC_HANDLE Invalid() noexcept { return nullptr; }
  static bool IsValid(SC_HANDLE h) noexcept { return h != nullptr; }
  static void Close(SC_HANDLE h) noexcept { ::CloseServiceHandle(h); }
};
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;

// Memory that functions hand out with LocalAlloc: security descriptors
// (PSECURITY_DESCRIPTOR is the same pointer type), SDDL strings.
struct LocalMemoryTraits {
  using Handle = HLOCAL;
  static HLOCAL Invalid() noexcept { return nullptr; }
  static bool IsValid(HLOCAL memory) noexcept { return memory != nullptr; }
  static void Close(HLOCAL memory) noexcept { ::LocalFree(memory); }
};
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits>;
using UniqueSecurityDescriptor = UniqueLocalMemory;

}  // namespace qv
