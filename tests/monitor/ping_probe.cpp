// Pings one address with PingAddress and prints "answered" or "no answer" and
// the milliseconds it took; exit code 0 when answered, 1 when not. For the
// end-to-end scripts, which run it inside their own network namespace.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/entry.h"
#include "common/system.h"
#include "monitor/checks/ping.h"

int ProgramMain(const std::vector<std::wstring>& args) {
  if (args.size() != 2) {
    qv::ConsoleWrite(L"usage: ping_probe ADDRESS\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const bool answered = qv::PingAddress(args[1]);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count();
  qv::ConsoleWrite((answered ? L"answered " : L"no answer ") + std::to_wstring(millis) + L"\n");
  return answered ? 0 : 1;
}
