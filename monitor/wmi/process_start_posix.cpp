// The Linux stand-in of Win32_Process.Create: starts a command line without
// waiting for it. msg.exe does not exist here, so its message goes to every
// logged-on terminal through wall.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>

#include "common/command_line.h"
#include "common/handles_posix.h"
#include "common/spawn_posix.h"
#include "common/text_util.h"
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

// wall takes a lone argument that names an existing file as that file, so
// the text goes in on its standard input, where it is only ever text. It is
// in the pipe before wall starts: no write can block or meet a closed reader.
int StartWall(const std::wstring& text, const SpawnOptions& base, pid_t& pid) {
  UniquePipe input;
  if (!MakePipe(input, O_CLOEXEC)) return errno;
  fcntl(input.write.Get(), F_SETFL, O_NONBLOCK);
  std::string bytes = WideToUtf8(text);
  bytes += '\n';
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(input.write.Get(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;  // full: the rest of an oversized text is dropped
    }
    done += static_cast<std::size_t>(n);
  }
  input.write.Reset();
  SpawnOptions options = base;
  options.stdinFd = input.read.Get();
  return SpawnArguments({L"wall"}, options, pid);
}

}  // namespace

bool StartCommandDetached(const std::wstring& commandLine, const std::wstring& currentDirectory,
                          std::wstring& returnValue) {
  const std::vector<std::wstring> args = SplitCommandLine(commandLine);
  if (args.empty() || args[0].empty()) {
    returnValue = L"21";
    return true;
  }
  SpawnOptions options;
  options.directory = WideToUtf8(currentDirectory);
  // Started by the WMI service on Windows, not as our child: its own session.
  options.newSession = true;
  pid_t pid = -1;
  const int rc = IsMsgProgram(args[0]) ? StartWall(MessageText(args), options, pid)
                                       : SpawnArguments(args, options, pid);
  if (rc == 0) ReapLater(pid);
  returnValue = ReturnCodeFor(rc);
  return true;
}

}  // namespace qv
