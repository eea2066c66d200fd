#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/format.h"
#include "common/text_util.h"
#include "ctl/directory_access.h"

namespace qv {
namespace {

std::wstring Text(const std::string& path) { return Utf8ToWide(path); }

std::wstring ErrorText(int error) { return Utf8ToWide(std::strerror(error)); }

std::string Parent(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::optional<std::wstring> DirectoryWriteProblem(const std::wstring& path) {
  std::string level = WideToUtf8(path);
  while (level.size() > 1 && level.back() == '/') level.pop_back();
  bool missing = false;
  struct stat st {};
  // The nearest level that exists: the Monitor makes the ones below it.
  while (stat(level.c_str(), &st) != 0) {
    if (errno != ENOENT && errno != ENOTDIR) return Format(L"%s: %s", Text(level), ErrorText(errno));
    const std::string parent = Parent(level);
    if (parent == level) return Format(L"%s does not exist", Text(level));
    level = parent;
    missing = true;
  }
  if (!S_ISDIR(st.st_mode)) return Format(L"%s is not a directory", Text(level));
  if (faccessat(AT_FDCWD, level.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    if (errno == EROFS) return Format(L"%s is on a read-only file system", Text(level));
    if (missing) return Format(L"this account may not make directories in %s", Text(level));
    return Format(L"this account may not write in %s", Text(level));
  }
  return std::nullopt;
}

}  // namespace qv
