#include <signal.h>
#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <vector>

#include "common/system.h"
#include "common/text_util.h"

namespace qv {

const wchar_t kPathSeparator = L'/';

std::wstring JoinPath(std::wstring_view directory, std::wstring_view name) {
  std::wstring out(directory);
  out.push_back(kPathSeparator);
  out.append(name);
  return out;
}

bool IsAbsolutePath(std::wstring_view path) { return !path.empty() && path[0] == L'/'; }

std::wstring ExecutablePath() {
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) {
      return Utf8ToWide(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
    if (buffer.size() > (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring ExecutableDirectory() {
  std::wstring path = ExecutablePath();
  std::size_t slash = path.rfind(L'/');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring ComputerName() {
  char host[HOST_NAME_MAX + 1] = {};
  if (gethostname(host, sizeof host - 1) != 0) return {};
  std::wstring name = Utf8ToWide(host);
  name = name.substr(0, name.find(L'.'));
  // NetBIOS names, as GetComputerNameW reports them: upper case, 15 characters.
  for (wchar_t& c : name) c = FoldCase(c);
  if (name.size() > 15) name.resize(15);
  return name;
}

bool FillRandom(void* buffer, std::size_t size) {
  auto* out = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    const ssize_t n = getrandom(out, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    out += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::int64_t NowSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::wstring FormatLocalTime(std::int64_t seconds, const wchar_t* format) {
  if (seconds < 0 || seconds > 32535215999LL) return {};
  time_t t = static_cast<time_t>(seconds);
  struct tm local {};
  tzset();
  if (localtime_r(&t, &local) == nullptr) return {};
  char buffer[128];
  std::size_t n = std::strftime(buffer, sizeof buffer, WideToUtf8(format).c_str(), &local);
  return Utf8ToWide(std::string_view(buffer, n));
}

PlatformInitResult InitializePlatform() { return PlatformInitResult::Ok; }

void ConsoleWrite(std::wstring_view text) {
  std::string bytes = WideToUtf8(text);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

void ConsoleWriteError(std::wstring_view text) {
  std::string bytes = WideToUtf8(text);
  std::fwrite(bytes.data(), 1, bytes.size(), stderr);
  std::fflush(stderr);
}

void ResetInheritedSignalState() {
  // Child exit codes (SIGCHLD), the stop from systemd or the terminal.
  for (int s : {SIGCHLD, SIGTERM, SIGINT, SIGHUP}) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(s, &action, nullptr);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Every conversion (console UTF-8, log CP932) is explicit; the C locale stays.
void SetProgramLocale() {}

}  // namespace qv
