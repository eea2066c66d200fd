#include <windows.h>

#include <algorithm>
#include <vector>

#include "common/handles_win32.h"
#include "common/process_runner.h"

namespace qv {
namespace {


// How long to wait for a terminated process to be gone; termination is
// asynchronous but quick.
constexpr DWORD kReapWaitMs = 10000;

DWORD ToWaitMs(std::chrono::milliseconds bound) {
  const auto ms = bound.count();
  if (ms <= 0) return 0;
  // INFINITE is 0xFFFFFFFF: stay one below so a bound is always a bound.
  return static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1));
}

class CreateProcessRunner final : public ProcessRunner {
 public:
  ProcessOutcome Run(const std::wstring& commandLine, std::chrono::milliseconds bound) override {
    ProcessOutcome outcome;
    // CreateProcessW may write into the command line.
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = static_cast<DWORD>(sizeof startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION created{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &created)) {
      return outcome;
    }
    // Destroyed in reverse: the thread handle is closed first, then the process.
    UniqueKernelHandle process(created.hProcess);
    UniqueKernelHandle thread(created.hThread);
    outcome.started = true;

    const DWORD waited = WaitForSingleObject(process.Get(), ToWaitMs(bound));
    if (waited == WAIT_OBJECT_0) {
      DWORD code = 0xFFFFFFFF;
      if (GetExitCodeProcess(process.Get(), &code)) outcome.exitCode = code;
      return outcome;
    }
    TerminateProcess(process.Get(), 1);
    WaitForSingleObject(process.Get(), kReapWaitMs);
    outcome.timedOut = true;
    return outcome;
  }
};

}  // namespace

ProcessRunner& SystemProcessRunner() {
  static CreateProcessRunner runner;
  return runner;
}

}  // namespace qv
