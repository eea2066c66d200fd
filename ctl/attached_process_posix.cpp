#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/text_util.h"
#include "ctl/attached_process.h"

extern char** environ;

namespace qv {

std::optional<std::uint32_t> RunAttached(const std::wstring& program, const std::vector<std::wstring>& args,
                                         const std::wstring& directory, std::wstring& why) {
  std::vector<std::string> texts{WideToUtf8(program)};
  for (const std::wstring& a : args) texts.push_back(WideToUtf8(a));
  std::vector<char*> argv;
  for (std::string& t : texts) argv.push_back(t.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // glibc 2.29 and later; the child starts in the programs' directory.
  posix_spawn_file_actions_addchdir_np(&actions, WideToUtf8(directory).c_str());
  pid_t pid = -1;
  // In this process group, so that a Ctrl-C reaches it too.
  const int rc = posix_spawn(&pid, texts[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    why = Utf8ToWide(std::strerror(rc));
    return std::nullopt;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      why = Utf8ToWide(std::strerror(errno));
      return std::nullopt;
    }
  }
  if (WIFEXITED(status)) return static_cast<std::uint32_t>(WEXITSTATUS(status));
  // Ended by a signal: the shell's way of telling it.
  return static_cast<std::uint32_t>(128 + WTERMSIG(status));
}

}  // namespace qv
