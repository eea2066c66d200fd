#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>

#include "common/handles_posix.h"
#include "monitor/service/service_host.h"

namespace qv {
namespace {

// Wakes the dispatcher thread: 'T' = a stop signal, 'R' = handler registered,
// 'D' = the service main function has returned.
UniquePipe g_wake;
volatile std::sig_atomic_t g_terminateSignal = 0;
std::atomic<ServiceControlProc> g_handler{nullptr};
std::string g_notifySocket;
// SIGTERM is what systemd sends; SIGINT and SIGHUP (a Ctrl-C, a closed
// terminal) stop the service the same way.
constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void OnTerminateSignal(int) {
  const int saved = errno;
  g_terminateSignal = 1;
  const char c = 'T';
  ssize_t ignored = write(g_wake.write.Get(), &c, 1);
  (void)ignored;
  errno = saved;
}

void Wake(char c) {
  if (!g_wake.write) return;
  ssize_t ignored = write(g_wake.write.Get(), &c, 1);
  (void)ignored;
}

// sd_notify without libsystemd: one datagram to the socket systemd named.
void Notify(const std::string& text) {
  if (g_notifySocket.empty()) return;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (g_notifySocket.size() >= sizeof address.sun_path) return;
  std::memcpy(address.sun_path, g_notifySocket.data(), g_notifySocket.size());
  socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + g_notifySocket.size());
  if (address.sun_path[0] == '@') {
    address.sun_path[0] = '\0';  // abstract namespace
  } else {
    length += 1;  // the terminating NUL of a path name
  }
  const UniqueFd fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd) return;
  sendto(fd.Get(), text.data(), text.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address),
         length);
}

}  // namespace

bool RunServiceDispatcher(const wchar_t*, ServiceMainProc serviceMain) {
  // Without systemd there is no service manager: like a failed dispatcher.
  const char* socketPath = std::getenv("NOTIFY_SOCKET");
  if (socketPath == nullptr || *socketPath == '\0') return false;
  g_notifySocket = socketPath;
  if (!MakePipe(g_wake, O_CLOEXEC)) return false;
  fcntl(g_wake.write.Get(), F_SETFL, O_NONBLOCK);  // a signal handler must never block

  struct sigaction action {};
  action.sa_handler = OnTerminateSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : kStopSignals) sigaction(s, &action, nullptr);

  // The service thread and every thread it starts keep the stop signals
  // blocked, so they always land on this thread.
  sigset_t term;
  sigset_t previous;
  sigemptyset(&term);
  for (int s : kStopSignals) sigaddset(&term, s);
  pthread_sigmask(SIG_BLOCK, &term, &previous);
  std::thread service([serviceMain] {
    serviceMain();
    Wake('D');
  });
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);

  bool stopPending = false;  // a STOP that came before the handler
  for (;;) {
    // The timeout covers runtimes that hold a signal back until the thread
    // leaves its system call (sanitizers do): the flag is seen regardless.
    pollfd wake{g_wake.read.Get(), POLLIN, 0};
    const int ready = poll(&wake, 1, 500);
    char c = 0;
    if (ready > 0) {
      const ssize_t n = read(g_wake.read.Get(), &c, 1);
      if (n < 0 && errno != EINTR) break;
      if (n == 0 || c == 'D') break;
    }
    if (g_terminateSignal != 0) {
      g_terminateSignal = 0;
      stopPending = true;
    }
    ServiceControlProc handler = g_handler.load();
    if (stopPending && handler != nullptr) {
      stopPending = false;
      handler(kServiceControlStop);
    }
  }
  service.join();
  g_wake.read.Reset();
  g_wake.write.Reset();
  return true;
}

void RegisterServiceControl(const wchar_t*, ServiceControlProc handler) {
  g_handler.store(handler);
  Wake('R');
}

void ReportServiceStatus(const ServiceStatusRecord& status) {
  switch (status.currentState) {
    case kServiceStartPending: Notify("STATUS=Starting"); break;
    case kServiceRunning: Notify("READY=1\nSTATUS=Monitoring"); break;
    case kServiceStopPending:
      // A checkpoint that moves on asks for more time, as the wait hint does.
      if (status.checkPoint == 0) {
        Notify("STOPPING=1\nSTATUS=Stopping");
      } else {
        Notify("STOPPING=1\nEXTEND_TIMEOUT_USEC=" + std::to_string(std::uint64_t{status.waitHint} * 1000));
      }
      break;
    case kServiceStopped: Notify("STATUS=Stopped"); break;
    default: break;
  }
}

}  // namespace qv
