// Test-only helper: holds a file open without sharing, as an editor or a
// backup program may, so that nobody else can open it meanwhile.
//   filelock PATH MS    prints "locked" once it holds PATH, lets go after MS ms
// Exit code 0 when the file could be held, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "common/handles_win32.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 1;
  const qv::UniqueKernelHandle file(CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 1;
  std::printf("locked\n");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
  return 0;
}
