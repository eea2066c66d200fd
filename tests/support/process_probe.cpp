#include "tests/support/process_probe.h"

#include <filesystem>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <cerrno>
#endif

#include "common/system.h"
#include "common/text_util.h"
#include "tests/support/test_support.h"

namespace qv::test {

std::wstring InstallFakeMailer(const std::wstring& directory, const std::wstring& name) {
  namespace fs = std::filesystem;
#ifdef _WIN32
  const std::wstring built = JoinPath(ExecutableDirectory(), L"fake_mailer.exe");
#else
  const std::wstring built = JoinPath(ExecutableDirectory(), L"fake_mailer");
#endif
  const std::wstring target = JoinPath(directory, name);
  fs::copy_file(fs::path(built), fs::path(target), fs::copy_options::overwrite_existing);
  return target;
}

std::map<std::string, std::string> ReadMailerRecord(const std::wstring& directory) {
  std::map<std::string, std::string> values;
  std::istringstream in(ReadBytes(JoinPath(directory, L"mailer_record.txt")));
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return values;
}

bool ProcessAlive(std::uint32_t pid) {
#ifdef _WIN32
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (h == nullptr) return false;
  const bool alive = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
  CloseHandle(h);
  return alive;
#else
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#endif
}

}  // namespace qv::test
