#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>

#include "common/files.h"
#include "common/text_util.h"
#include "ctl/program_directory.h"

namespace qv {
namespace {

struct FreeDeleter {
  void operator()(char* p) const { free(p); }
};

std::wstring WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return Utf8ToWide(path);
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
  return WithoutTrailingSlashes(std::move(text));
}

}  // namespace qv
