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
class SystemdServiceHost final : public ServiceHost {
 public:
  bool RunDispatcher(const wchar_t* serviceName, ServiceCallbacks& service) override;
  void RegisterControl(const wchar_t* serviceName) override;
  void ReportStatus(const ServiceStatusRecord& status) override;

 private:
  void Notify(const std::string& text) const;

  std::atomic<bool> registered_{false};
  std::string notifySocket_;
};

// sd_notify without libsystemd: one datagram to the socket systemd named.
void SystemdServiceHost::Notify(const std::string& text) const {
  if (notifySocket_.empty()) return;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (notifySocket_.size() >= sizeof address.sun_path) return;
  std::memcpy(address.sun_path, notifySocket_.data(), notifySocket_.size());
  socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + notifySocket_.size());
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

bool SystemdServiceHost::RunDispatcher(const wchar_t*, ServiceCallbacks& service) {
  // Without systemd there is no service manager: like a failed dispatcher.
  const char* socketPath = std::getenv("NOTIFY_SOCKET");
  if (socketPath == nullptr || *socketPath == '\0') return false;
  notifySocket_ = socketPath;
  if (!OpenStopSignalPipe()) return false;

  // The service thread and every thread it starts keep the stop signals
  // blocked, so they always land on this thread.
  const sigset_t term = StopSignalSet();
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &term, &previous);
  std::thread main([&service] {
    service.Main();
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
    if (stopPending && registered_.load()) {
      stopPending = false;
      service.Control(kServiceControlStop);
    }
  }
  main.join();
  CloseStopSignalPipe();
  return true;
}

void SystemdServiceHost::RegisterControl(const wchar_t*) {
  registered_.store(true);
  WakeStopSignalPipe('R');
}

void SystemdServiceHost::ReportStatus(const ServiceStatusRecord& status) {
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

}  // namespace

ServiceHost& PlatformServiceHost() {
  static SystemdServiceHost host;
  return host;
}

}  // namespace qv
