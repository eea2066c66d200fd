#pragma once
// Starting a program on Linux the way CreateProcessW does on Windows: from an
// argument vector, never through a shell, with nothing of the parent's open
// files but standard output and error.
#include <sys/types.h>

#include <string>
#include <vector>

namespace qv {

struct SpawnOptions {
  std::string directory;    // empty: the caller's current directory
  int stdinFd = -1;         // -1: /dev/null (a hidden Windows child has no console input)
  bool newSession = false;  // true: a session of its own; false: a process group of its own
};

// Starts args[0] (looked up on PATH when it holds no '/') with `args`.
// Returns 0 and the child's id, or the errno value of the failure.
[[nodiscard]] int SpawnArguments(const std::vector<std::wstring>& args, const SpawnOptions& options,
                                 pid_t& pid);

}  // namespace qv
