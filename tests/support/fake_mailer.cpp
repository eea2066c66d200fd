// Stands in for the external mailer in tests. Beside itself it leaves
// mailer_record.txt (what it was given), mailer_seen.ini (the file named by
// its argument, as it found it) and one line per run in mailer_calls.txt, then
// sleeps [Test] SleepMs and exits with [Test] ExitCode, both read from that file.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "common/entry.h"
#include "common/profile.h"
#include "common/system.h"
#include "common/text_util.h"

namespace {

unsigned long CurrentProcessId() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(getpid());
#endif
}

// Descriptors beyond standard input, output and error that reached us.
std::string InheritedDescriptors() {
#ifdef _WIN32
  return "";
#else
  std::string list;
  for (int fd = 3; fd < 1024; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) list += std::to_string(fd) + " ";
  }
  return list;
#endif
}

// Signals held back in this process, as /proc shows them (hex mask).
std::string BlockedSignals() {
#ifdef _WIN32
  return "";
#else
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("SigBlk:", 0) == 0) return line.substr(line.find_first_not_of(" \t", 7));
  }
  return "";
#endif
}

}  // namespace

int ProgramMain(const std::vector<std::wstring>& args) {
  namespace fs = std::filesystem;
  const std::string inherited = InheritedDescriptors();  // before we open anything
  const std::wstring dir = qv::ExecutableDirectory();
  const std::wstring arg = args.size() > 1 ? args[1] : std::wstring();
  std::error_code ec;
  const bool exists = !arg.empty() && fs::exists(fs::path(arg), ec);

  std::ofstream record(fs::path(qv::JoinPath(dir, L"mailer_record.txt")), std::ios::binary | std::ios::trunc);
  record << "args=" << (args.size() - 1) << "\n";
  record << "arg=" << qv::WideToUtf8(arg) << "\n";
  record << "pid=" << CurrentProcessId() << "\n";
  record << "exists=" << (exists ? 1 : 0) << "\n";
  record << "fds=" << inherited << "\n";
  record << "blocked=" << BlockedSignals() << "\n";
  std::uint32_t exitCode = 0;
  std::uint32_t sleepMs = 0;
  if (exists) {
    const auto perms = fs::status(fs::path(arg), ec).permissions();
    record << "others_read=" << ((perms & (fs::perms::group_read | fs::perms::others_read)) != fs::perms::none)
           << "\n";
    qv::ProfileReader ini(arg);
    record << "body=" << qv::WideToUtf8(ini.GetString(L"Config", L"Body", L"(none)")) << "\n";
    exitCode = ini.GetInt(L"Test", L"ExitCode", 0);
    sleepMs = ini.GetInt(L"Test", L"SleepMs", 0);
    fs::copy_file(fs::path(arg), fs::path(qv::JoinPath(dir, L"mailer_seen.ini")),
                  fs::copy_options::overwrite_existing, ec);
  }
  record.close();
  std::ofstream calls(fs::path(qv::JoinPath(dir, L"mailer_calls.txt")), std::ios::binary | std::ios::app);
  calls << qv::WideToUtf8(arg) << " exit=" << exitCode << "\n";
  calls.close();
  std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
  return static_cast<int>(exitCode);
}
