#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "common/handles_posix.h"
#include "monitor/service/console_host.h"

namespace qv {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
// Bounds each wait: some runtimes (sanitizers) run a handler only after the
// thread has left its system call.
constexpr int kPollMs = 500;

UniquePipe g_wake;
volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void OnStopSignal(int) {
  const int saved = errno;
  g_stopSignal = 1;
  const char c = 'S';
  [[maybe_unused]] const ssize_t ignored = write(g_wake.write.Get(), &c, 1);
  errno = saved;
}

sigset_t StopSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kStopSignals) sigaddset(&set, s);
  return set;
}

}  // namespace

void PrepareConsoleStop() {
  if (MakePipe(g_wake, O_CLOEXEC)) {
    fcntl(g_wake.write.Get(), F_SETFL, O_NONBLOCK);  // a handler must never block
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : kStopSignals) sigaction(s, &action, nullptr);
  const sigset_t set = StopSignalSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void WaitForConsoleStop() {
  const sigset_t set = StopSignalSet();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  for (;;) {
    if (g_stopSignal != 0) return;
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {g_wake.read.Get(), POLLIN, 0}};
    const nfds_t count = g_wake.read ? 2 : 1;
    const int ready = poll(fds, count, kPollMs);
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
