// systemd through systemctl: the unit quorvanexdevicechecker.service.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <vector>

#include "common/files.h"
#include "common/handles_posix.h"
#include "common/service_names.h"
#include "common/service_states.h"
#include "common/text_util.h"
#include "ctl/service_control.h"

extern char** environ;

namespace qv {
namespace {

constexpr char kSystemctl[] = "/usr/bin/systemctl";

std::string UnitName() { return WideToUtf8(kMonitorServiceName) + ".service"; }

// sd_booted(): systemd is the init system of this machine.
bool SystemdRuns() { return IsDirectory(L"/run/systemd/system"); }

// Runs systemctl with `args` and gives its standard output; nothing when it
// could not run or failed.
std::optional<std::string> Systemctl(std::vector<std::string> args) {
  args.insert(args.begin(), kSystemctl);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  UniquePipe out;
  if (!MakePipe(out, O_CLOEXEC)) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out.write.Get(), STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, kSystemctl, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  out.write.Reset();
  if (rc != 0) return std::nullopt;

  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(out.read.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return text;
}

// "Key=value" lines of systemctl show.
std::map<std::string, std::string> Properties(const std::string& text) {
  std::map<std::string, std::string> properties;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) properties[line.substr(0, eq)] = line.substr(eq + 1);
    start = end + 1;
  }
  return properties;
}

std::optional<std::uint32_t> StateOf(const std::string& activeState) {
  if (activeState == "active" || activeState == "reloading") return kServiceRunning;
  if (activeState == "activating") return kServiceStartPending;
  if (activeState == "deactivating") return kServiceStopPending;
  if (activeState == "inactive" || activeState == "failed") return kServiceStopped;
  return std::nullopt;
}

// "@1733650000" (--timestamp=unix); empty when the unit never got there.
std::optional<std::int64_t> UnixTimestamp(const std::string& text) {
  if (text.size() < 2 || text[0] != '@') return std::nullopt;
  const std::optional<std::int64_t> seconds = ParseDigits(Utf8ToWide(text.substr(1)), 18);
  if (!seconds || *seconds == 0) return std::nullopt;
  return seconds;
}

// ServiceManager over systemctl: the manager is systemd itself, the service
// the unit; a stop and a start are queued (--no-block) and then waited for
// by the restart's own polling.
class SystemdServiceManager final : public ServiceManager {
 public:
  Handle OpenManager() override { return SystemdRuns() ? kManager : 0; }
  Handle OpenNamedService(Handle manager, std::wstring_view) override {
    if (manager != kManager) return 0;
    const std::optional<std::string> text = Systemctl({"show", "-p", "LoadState", UnitName()});
    return text && Properties(*text)["LoadState"] == "loaded" ? kService : 0;
  }
  std::optional<std::uint32_t> QueryState(Handle service) override {
    if (service != kService) return std::nullopt;
    const std::optional<std::string> text = Systemctl({"show", "-p", "ActiveState", UnitName()});
    if (!text) return std::nullopt;
    return StateOf(Properties(*text)["ActiveState"]);
  }
  bool SendStop(Handle service) override {
    return service == kService && Systemctl({"stop", "--no-block", UnitName()}).has_value();
  }
  bool StartWithoutArguments(Handle service) override {
    return service == kService && Systemctl({"start", "--no-block", UnitName()}).has_value();
  }
  void Close(Handle) override {}

 private:
  static constexpr Handle kManager = 1;
  static constexpr Handle kService = 2;
};

}  // namespace

ServiceStatus QueryMonitorService() {
  ServiceStatus status;
  if (!SystemdRuns()) {
    status.problem = L"systemd does not run here";
    return status;
  }
  const std::optional<std::string> text =
      Systemctl({"show", "--timestamp=unix", "-p", "LoadState", "-p", "ActiveState", "-p", "SubState", "-p",
                 "ActiveEnterTimestamp", "-p", "InactiveEnterTimestamp", UnitName()});
  if (!text) {
    status.problem = Utf8ToWide(std::string("systemctl show ") + UnitName() + " failed");
    return status;
  }
  std::map<std::string, std::string> p = Properties(*text);
  status.answered = true;
  if (p["LoadState"] != "loaded") {
    status.state = L"not installed";
    return status;
  }
  status.installed = true;
  const std::optional<std::uint32_t> state = StateOf(p["ActiveState"]);
  status.running = state == kServiceRunning;
  status.state = Utf8ToWide(p["ActiveState"] + " (" + p["SubState"] + ")");
  status.since = UnixTimestamp(status.running ? p["ActiveEnterTimestamp"] : p["InactiveEnterTimestamp"]);
  return status;
}

ServiceManager* RestartServiceManager(std::wstring& why) {
  if (!SystemdRuns()) {
    why = L"systemd does not run here, so there is no service to restart (a Monitor started by hand stops "
          L"with Enter or SIGTERM and is started again by hand)";
    return nullptr;
  }
  static SystemdServiceManager manager;
  return &manager;
}

}  // namespace qv
