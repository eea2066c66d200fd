#pragma once
// A process runner that starts nothing: it records what it was asked to run
// and answers with the exit codes it was given, then with `outcome`.
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "common/process_runner.h"

namespace qv::test {

class FakeProcessRunner final : public ProcessRunner {
 public:
  ProcessOutcome Run(const std::wstring& commandLine, std::chrono::milliseconds bound) override {
    commandLines.push_back(commandLine);
    bounds.push_back(bound);
    if (onRun) onRun(commandLine);
    if (exitCodes.empty()) return outcome;
    const ProcessOutcome exited{true, false, exitCodes.front()};
    exitCodes.pop_front();
    return exited;
  }
  int Runs() const { return static_cast<int>(commandLines.size()); }

  std::deque<std::uint32_t> exitCodes;      // of the next runs, each started and ended in time
  ProcessOutcome outcome{true, false, 0};  // of every run after them
  std::function<void(const std::wstring&)> onRun;  // looks at the world while the program runs
  std::vector<std::wstring> commandLines;
  std::vector<std::chrono::milliseconds> bounds;
};

}  // namespace qv::test
