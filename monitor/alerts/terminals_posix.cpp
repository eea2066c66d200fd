#include "monitor/alerts/terminals_posix.h"

#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utmpx.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>

#include "common/handles_posix.h"
#include "common/system.h"
#include "common/text_util.h"

namespace qv {
namespace {

constexpr char kUtmpFile[] = "/run/utmp";
// More records than any machine has; a file beyond it is not read further.
constexpr int kMaxUtmpRecords = 100000;

// C0, DEL and C1: a C1 character such as U+009B starts an escape sequence
// in many terminals, in UTF-8 too.
bool IsControl(wchar_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

bool IsDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsAsciiAlnum(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
         });
}

// utmp's text fields are NUL-padded, not NUL-terminated when full.
template <std::size_t N>
std::string_view Field(const char (&field)[N]) {
  return std::string_view(field, strnlen(field, N));
}

std::vector<utmpx> ReadLogins() {
  const char* hook = std::getenv("QV_UTMP_FILE");
  const char* path = hook != nullptr && *hook != '\0' ? hook : kUtmpFile;
  std::vector<utmpx> records;
  const UniqueFd fd(open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  struct stat st {};
  if (!fd || fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return records;
  utmpx record{};
  for (int count = 0; count < kMaxUtmpRecords; ++count) {
    ssize_t n = 0;
    do {
      n = read(fd.Get(), &record, sizeof record);
    } while (n < 0 && errno == EINTR);
    // A short read is a record being written: the end.
    if (n != static_cast<ssize_t>(sizeof record)) break;
    if (record.ut_type == USER_PROCESS) records.push_back(record);
  }
  return records;
}

// /dev/<line>, one level at a time and never through a link, opened for
// writing without becoming our controlling terminal and without blocking.
UniqueFd OpenTerminal(std::string_view line, int& error) {
  UniqueFd dir(open("/dev", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  std::size_t start = 0;
  while (dir) {
    const std::size_t slash = line.find('/', start);
    const std::string part(line.substr(start, slash == std::string_view::npos ? slash : slash - start));
    if (slash == std::string_view::npos) {
      UniqueFd tty(openat(dir.Get(), part.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
      error = errno;
      return tty;
    }
    dir.Reset(openat(dir.Get(), part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    start = slash + 1;
  }
  error = errno;
  return {};
}

TerminalOutcome WriteToTerminal(std::string_view line, const std::string& message, std::set<dev_t>& reached) {
  if (!IsTerminalLine(line)) return TerminalOutcome::Skipped;
  int error = 0;
  const UniqueFd tty = OpenTerminal(line, error);
  if (!tty) return error == EACCES || error == EPERM ? TerminalOutcome::Refused : TerminalOutcome::Skipped;
  struct stat st {};
  if (fstat(tty.Get(), &st) != 0 || !S_ISCHR(st.st_mode) || !isatty(tty.Get())) return TerminalOutcome::Skipped;
  // `mesg n` takes the group's write permission away; we respect it even
  // where we could write all the same (run as root).
  if ((st.st_mode & S_IWGRP) == 0) return TerminalOutcome::Skipped;
  // A user logged in twice on one terminal sees the message once.
  if (!reached.insert(st.st_rdev).second) return TerminalOutcome::Skipped;
  ssize_t n = 0;
  do {
    n = write(tty.Get(), message.data(), message.size());
  } while (n < 0 && errno == EINTR);
  return WriteOutcome(static_cast<long>(n), message.size(), errno);
}

std::wstring SenderName() {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return Utf8ToWide(found->pw_name);
  }
  return std::to_wstring(geteuid());
}

std::wstring HostName() {
  char host[HOST_NAME_MAX + 1] = {};
  if (gethostname(host, sizeof host - 1) != 0) return L"localhost";
  return Utf8ToWide(host);
}

// A write to our own controlling terminal from a background process group
// would stop the whole Monitor with SIGTTOU under `stty tostop`; blocked, the
// write goes through.
class SigttouBlocked {
 public:
  SigttouBlocked() {
    sigset_t ttou;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    pthread_sigmask(SIG_BLOCK, &ttou, &previous_);
  }
  ~SigttouBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  SigttouBlocked(const SigttouBlocked&) = delete;
  SigttouBlocked& operator=(const SigttouBlocked&) = delete;

 private:
  sigset_t previous_{};
};

}  // namespace

TerminalOutcome WriteOutcome(long written, std::size_t size, int error) {
  if (written < 0) return error == EACCES || error == EPERM ? TerminalOutcome::Refused : TerminalOutcome::NotTaken;
  return static_cast<std::size_t>(written) == size ? TerminalOutcome::Taken : TerminalOutcome::NotTaken;
}

std::wstring DeliveryReturnValue(const std::vector<TerminalOutcome>& outcomes) {
  const auto any = [&outcomes](TerminalOutcome o) {
    return std::find(outcomes.begin(), outcomes.end(), o) != outcomes.end();
  };
  if (any(TerminalOutcome::Taken)) return L"0";
  if (any(TerminalOutcome::Refused)) return L"2";
  return L"8";
}

std::string TerminalMessage(std::wstring_view body, std::wstring_view sender, std::wstring_view host,
                            std::wstring_view time) {
  std::wstring text = L"\nBroadcast message from ";
  text.append(sender).append(L"@").append(host).append(L" (").append(time).append(L"):\n\n");
  text.append(body).append(L"\n");
  std::wstring out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'\r' || c == L'\n') {
      // CR LF, a lone CR and a lone LF are one line break each; a lone CR
      // must not take the cursor back over the first line.
      if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
      out += L"\r\n";
    } else if (c == L'\t' || !IsControl(c)) {
      out += c;
    }
  }
  return WideToUtf8(out);
}

bool IsTerminalLine(std::string_view line) {
  if (line == "console") return true;
  if (line.substr(0, 4) == "pts/") return IsDigits(line.substr(4));
  return line.substr(0, 3) == "tty" && IsAsciiAlnum(line.substr(3));
}

std::wstring DeliverToTerminals(std::wstring_view body, std::wstring_view recipient) {
  const std::string message =
      TerminalMessage(body, SenderName(), HostName(), FormatLocalTime(NowSeconds(), L"%Y/%m/%d %H:%M:%S"));
  const std::string user = WideToUtf8(recipient);
  const SigttouBlocked quiet;
  std::set<dev_t> reached;
  std::vector<TerminalOutcome> outcomes;
  for (const utmpx& login : ReadLogins()) {
    if (user != "*" && Field(login.ut_user) != user) continue;
    outcomes.push_back(WriteToTerminal(Field(login.ut_line), message, reached));
  }
  return DeliveryReturnValue(outcomes);
}

}  // namespace qv
