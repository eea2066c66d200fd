#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/command_line.h"
#include "common/handles_posix.h"
#include "common/process_runner.h"
#include "common/spawn_posix.h"
#include "common/text_util.h"

extern char** environ;

namespace qv {
namespace {

struct FileActions {
  posix_spawn_file_actions_t value;
  FileActions() { posix_spawn_file_actions_init(&value); }
  ~FileActions() { posix_spawn_file_actions_destroy(&value); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
};

struct SpawnAttributes {
  posix_spawnattr_t value;
  SpawnAttributes() { posix_spawnattr_init(&value); }
  ~SpawnAttributes() { posix_spawnattr_destroy(&value); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
};

std::uint32_t ExitCodeOf(int status) {
  if (WIFEXITED(status)) return static_cast<std::uint32_t>(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return 128u + static_cast<std::uint32_t>(WTERMSIG(status));
  return 0xFFFFFFFF;
}

// Through syscall(): the glibc 2.36 header declares pidfd_open without C
// linkage. The descriptor is always close-on-exec.
UniqueFd OpenPidDescriptor(pid_t pid) { return UniqueFd(static_cast<int>(syscall(SYS_pidfd_open, pid, 0))); }

enum class WaitResult { Ended, Lost, Overran };

// Waits for `pid` until `deadline`; Ended leaves its status in `status`.
// A pid descriptor wakes us the moment the child ends; without one (old
// kernels) the wait polls.
WaitResult WaitUntil(pid_t pid, std::chrono::steady_clock::time_point deadline, int& status) {
  const UniqueFd pidfd = OpenPidDescriptor(pid);
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return WaitResult::Ended;
    // Reaped elsewhere (SIGCHLD ignored): the exit code is unknown.
    if (r < 0 && errno != EINTR) return WaitResult::Lost;
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return WaitResult::Overran;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    if (pidfd) {
      pollfd ready{pidfd.Get(), POLLIN, 0};
      poll(&ready, 1, static_cast<int>(std::min<std::int64_t>(left.count(), 60000)));
    } else {
      auto step = std::min(pause, left);
      usleep(static_cast<useconds_t>(std::max<std::int64_t>(step.count(), 1) * 1000));
      pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
  }
}

class SpawnRunner final : public ProcessRunner {
 public:
  ProcessOutcome Run(const std::wstring& commandLine, std::chrono::milliseconds bound) override {
    ProcessOutcome outcome;
    std::vector<std::wstring> args = SplitCommandLine(commandLine);
    pid_t pid = -1;
    if (SpawnArguments(args, SpawnOptions{}, pid) != 0) return outcome;
    outcome.started = true;
    int status = 0;
    switch (WaitUntil(pid, std::chrono::steady_clock::now() + bound, status)) {
      case WaitResult::Ended:
        outcome.exitCode = ExitCodeOf(status);
        break;
      case WaitResult::Lost:
        break;
      case WaitResult::Overran:
        // The whole group, so that a script's own children go too.
        kill(-pid, SIGKILL);
        kill(pid, SIGKILL);
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        outcome.timedOut = true;
        break;
    }
    return outcome;
  }
};

}  // namespace

int SpawnArguments(const std::vector<std::wstring>& args, const SpawnOptions& options, pid_t& pid) {
  if (args.empty() || args[0].empty()) return ENOENT;
  std::vector<std::string> narrow;
  narrow.reserve(args.size());
  for (const std::wstring& a : args) narrow.push_back(WideToUtf8(a));
  std::vector<char*> argv;
  for (std::string& a : narrow) argv.push_back(a.data());
  argv.push_back(nullptr);

  FileActions actions;
  if (options.stdinFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions.value, options.stdinFd, 0);
  } else {
    posix_spawn_file_actions_addopen(&actions.value, 0, "/dev/null", O_RDONLY, 0);
  }
  posix_spawn_file_actions_addclosefrom_np(&actions.value, 3);
  if (!options.directory.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions.value, options.directory.c_str());
  }

  SpawnAttributes attributes;
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int s : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM, SIGCHLD, SIGUSR1, SIGUSR2, SIGALRM}) {
    sigaddset(&defaults, s);
  }
  posix_spawnattr_setsigmask(&attributes.value, &none);
  posix_spawnattr_setsigdefault(&attributes.value, &defaults);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (options.newSession) {
    flags |= POSIX_SPAWN_SETSID;
  } else {
    flags |= POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setpgroup(&attributes.value, 0);
  }
  posix_spawnattr_setflags(&attributes.value, flags);

  const bool search = narrow[0].find('/') == std::string::npos;
  int rc = search ? posix_spawnp(&pid, argv[0], &actions.value, &attributes.value, argv.data(), environ)
                  : posix_spawn(&pid, argv[0], &actions.value, &attributes.value, argv.data(), environ);
  return rc;
}

ProcessRunner& SystemProcessRunner() {
  static SpawnRunner runner;
  return runner;
}

}  // namespace qv
