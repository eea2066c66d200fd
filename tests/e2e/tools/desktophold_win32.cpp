// Test-only helper: keeps Wine's desktop in use for a whole test run, so that
// its desktop process starts once, from here, and not from some test whose
// output pipe it would then hold (see qv_wine_desktop in scripts/wine-env.sh).
//   desktophold    prints "ready" once it is on the desktop, then waits until
//                  the wineserver ends it
#include <windows.h>

#include <cstdio>

int wmain() {
  if (GetDesktopWindow() == nullptr) return 1;
  std::printf("ready\n");
  std::fflush(stdout);
  Sleep(INFINITE);
  return 0;
}
