// The Linux stand-in of Win32_Process.Create: starts a command line without
// waiting for it. msg.exe does not exist here: its message is written to the
// users' terminals in this process, and Create succeeds only when some
// terminal took it, so that an alert nobody saw is not counted as shown.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>

#include "common/command_line.h"
#include "common/spawn_posix.h"
#include "common/text_util.h"
#include "monitor/alerts/terminals_posix.h"
#include "monitor/wmi/process_start_posix.h"

namespace qv {
namespace {

// Win32_Process.Create's ReturnValue for a failed start.
const wchar_t* ReturnCodeFor(int error) {
  switch (error) {
    case 0: return L"0";
    case ENOENT:
    case ENOTDIR: return L"9";   // path not found
    case EACCES:
    case EPERM: return L"2";     // access denied
    case EINVAL:
    case E2BIG: return L"21";    // invalid parameter
    default: return L"8";        // unknown failure
  }
}

bool IsMsgProgram(const std::wstring& program) {
  const std::size_t cut = program.find_last_of(L"\\/");
  const std::wstring_view name =
      cut == std::wstring::npos ? std::wstring_view(program) : std::wstring_view(program).substr(cut + 1);
  // Windows appends ".exe" to a program named without an extension.
  return EqualsNoCase(name, L"msg.exe") || EqualsNoCase(name, L"msg");
}

// msg {recipient} [/switch...] [message...]: the words after the recipient
// and the switches, joined by spaces as msg.exe joins them.
std::wstring MessageText(const std::vector<std::wstring>& args) {
  std::size_t i = 2;
  while (i < args.size() && !args[i].empty() && args[i][0] == L'/') ++i;
  std::wstring text;
  for (; i < args.size(); ++i) {
    if (!text.empty()) text += L' ';
    text += args[i];
  }
  return text;
}

// Children are not waited for here; a thread of their own collects them so
// that none is left as a zombie.
void ReapLater(pid_t pid) {
  try {
    std::thread([pid] {
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the child stays a zombie until we exit, which is
    // better than letting an alert end the watchdog.
  }
}

}  // namespace

bool StartCommandDetached(const std::wstring& commandLine, const std::wstring& currentDirectory,
                          std::wstring& returnValue) {
  const std::vector<std::wstring> args = SplitCommandLine(commandLine);
  if (args.empty() || args[0].empty()) {
    returnValue = L"21";
    return true;
  }
  if (IsMsgProgram(args[0])) {
    // msg {recipient} ...: without a recipient msg.exe only shows its usage.
    returnValue = args.size() < 2 ? L"21" : DeliverToTerminals(MessageText(args), args[1]);
    return true;
  }
  SpawnOptions options;
  options.directory = WideToUtf8(currentDirectory);
  // Started by the WMI service on Windows, not as our child: its own session.
  options.newSession = true;
  pid_t pid = -1;
  const int rc = SpawnArguments(args, options, pid);
  if (rc == 0) ReapLater(pid);
  returnValue = ReturnCodeFor(rc);
  return true;
}

}  // namespace qv
