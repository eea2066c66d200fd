#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "common/handles_posix.h"
#include "monitor/service/service_host.h"
#include "monitor/service/signal_pipe_posix.h"

namespace qv {
namespace {

// Besides the stop signal's 'T', the pipe wakes the dispatcher thread with
// 'R' = handler registered, 'D' = the service main function has returned.
std::atomic<ServiceControlProc> g_handler{nullptr};
std::string g_notifySocket;

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
  if (!OpenStopSignalPipe()) return false;

  // The service thread and every thread it starts keep the stop signals
  // blocked, so they always land on this thread.
  const sigset_t term = StopSignalSet();
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &term, &previous);
  std::thread service([serviceMain] {
    serviceMain();
    WakeStopSignalPipe('D');
  });
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);

  bool stopPending = false;  // a STOP that came before the handler
  for (;;) {
    pollfd wake{StopSignalPipeFd(), POLLIN, 0};
    const int ready = poll(&wake, 1, kStopSignalPollMs);
    char c = 0;
    if (ready > 0) {
      const ssize_t n = read(wake.fd, &c, 1);
      if (n < 0 && errno != EINTR) break;
      if (n == 0 || c == 'D') break;
    }
    if (TakeStopSignal()) stopPending = true;
    ServiceControlProc handler = g_handler.load();
    if (stopPending && handler != nullptr) {
      stopPending = false;
      handler(kServiceControlStop);
    }
  }
  service.join();
  CloseStopSignalPipe();
  return true;
}

void RegisterServiceControl(const wchar_t*, ServiceControlProc handler) {
  g_handler.store(handler);
  WakeStopSignalPipe('R');
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
