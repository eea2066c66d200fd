#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "common/files.h"
#include "common/text_util.h"
#include "ctl/program_directory.h"

namespace qv {
namespace {

struct FreeDeleter {
  void operator()(char* p) const { free(p); }
};

// An absolute path without empty, "." and ".." levels.
std::string Lexical(const std::string& absolute) {
  std::vector<std::string> levels;
  std::size_t start = 0;
  while (start <= absolute.size()) {
    std::size_t end = absolute.find('/', start);
    if (end == std::string::npos) end = absolute.size();
    const std::string level = absolute.substr(start, end - start);
    if (level == "..") {
      if (!levels.empty()) levels.pop_back();
    } else if (!level.empty() && level != ".") {
      levels.push_back(level);
    }
    start = end + 1;
  }
  std::string out;
  for (const std::string& level : levels) out += "/" + level;
  return out.empty() ? "/" : out;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

std::wstring ProgramDirectory() {
  std::unique_ptr<char, FreeDeleter> real(realpath("/proc/self/exe", nullptr));
  if (!real) return {};
  std::string path = real.get();
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return Utf8ToWide(slash == 0 ? std::string("/") : path.substr(0, slash));
}

std::optional<std::wstring> FullDirectoryPath(const std::wstring& path) {
  if (path.empty() || !IsDirectory(path)) return std::nullopt;
  std::string text = WideToUtf8(path);
  if (text.front() != '/') {
    std::unique_ptr<char, FreeDeleter> cwd(getcwd(nullptr, 0));
    if (!cwd) return std::nullopt;
    text = std::string(cwd.get()) + "/" + text;
  }
  // "." and ".." go as GetFullPathNameW drops them; where a link makes ".."
  // lead elsewhere, the path the system took is named instead.
  const std::string lexical = Lexical(text);
  if (SameFile(lexical, text)) return Utf8ToWide(lexical);
  std::unique_ptr<char, FreeDeleter> real(realpath(text.c_str(), nullptr));
  return real ? std::optional<std::wstring>(Utf8ToWide(real.get())) : std::nullopt;
}

}  // namespace qv
