#pragma once
// Starting a program hidden and waiting for it, with a bound on the wait.
#include <chrono>
#include <cstdint>
#include <string>

namespace qv {

struct ProcessOutcome {
  bool started = false;
  bool timedOut = false;             // ran past the bound; it was terminated
  std::uint32_t exitCode = 0xFFFFFFFF;
};

class ProcessRunner {
 public:
  virtual ~ProcessRunner() = default;
  // Starts `commandLine` (Windows command-line rules: the first element names
  // the program) with no window and no inherited handles, in the current
  // directory and environment, and waits at most `bound` for it to end.
  [[nodiscard]] virtual ProcessOutcome Run(const std::wstring& commandLine,
                                           std::chrono::milliseconds bound) = 0;
};

ProcessRunner& SystemProcessRunner();

}  // namespace qv
