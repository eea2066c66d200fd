#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "monitor/service/console_host.h"
#include "monitor/service/signal_pipe_posix.h"

namespace qv {

void PrepareConsoleStop() {
  OpenStopSignalPipe();
  const sigset_t set = StopSignalSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void WaitForConsoleStop() {
  const sigset_t set = StopSignalSet();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  const int wake = StopSignalPipeFd();
  for (;;) {
    if (TakeStopSignal()) return;
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wake, POLLIN, 0}};
    const nfds_t count = wake >= 0 ? 2 : 1;
    const int ready = poll(fds, count, kStopSignalPollMs);
    if (ready < 0 && errno != EINTR) return;
    if (ready <= 0) continue;
    if (fds[1].revents != 0) return;
    if (fds[0].revents != 0) {
      // One character, the end of input or an unusable descriptor: all end
      // the run, as getchar returning would.
      char c = 0;
      [[maybe_unused]] const ssize_t ignored = read(STDIN_FILENO, &c, 1);
      return;
    }
  }
}

void ConsoleStopFinished() {}

}  // namespace qv
