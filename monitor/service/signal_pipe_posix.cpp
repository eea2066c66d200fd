#include "monitor/service/signal_pipe_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

#include "common/handles_posix.h"

namespace qv {
namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

UniquePipe g_pipe;
// What the handler writes to: a lock-free atomic is safe in a handler, and
// -1 before the pipe closes keeps it off a descriptor number used again.
std::atomic<int> g_writeFd{-1};
static_assert(std::atomic<int>::is_always_lock_free);
volatile std::sig_atomic_t g_stopSignal = 0;

void WriteByte(int fd, char c) {
  if (fd < 0) return;
  [[maybe_unused]] const ssize_t ignored = write(fd, &c, 1);
}

extern "C" void OnStopSignal(int) {
  const int saved = errno;
  g_stopSignal = 1;
  WriteByte(g_writeFd.load(), 'T');
  errno = saved;
}

}  // namespace

sigset_t StopSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kStopSignals) sigaddset(&set, s);
  return set;
}

bool OpenStopSignalPipe() {
  const bool opened = MakePipe(g_pipe, O_CLOEXEC);
  if (opened) {
    fcntl(g_pipe.write.Get(), F_SETFL, O_NONBLOCK);  // a handler must never block
    g_writeFd.store(g_pipe.write.Get());
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : kStopSignals) sigaction(s, &action, nullptr);
  return opened;
}

void CloseStopSignalPipe() {
  g_writeFd.store(-1);
  g_pipe.read.Reset();
  g_pipe.write.Reset();
}

int StopSignalPipeFd() { return g_pipe.read ? g_pipe.read.Get() : -1; }

void WakeStopSignalPipe(char c) { WriteByte(g_writeFd.load(), c); }

bool TakeStopSignal() {
  if (g_stopSignal == 0) return false;
  g_stopSignal = 0;
  return true;
}

}  // namespace qv
