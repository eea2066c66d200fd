#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/format.h"
#include "common/text_util.h"
#include "ctl/rights.h"

namespace qv {
namespace {

// Checked with the effective ids, as the write itself would be.
int WriteAccessError(const std::string& path, int mode) {
  return faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0 ? 0 : errno;
}

}  // namespace

std::optional<std::wstring> MissingWriteRights(const std::vector<std::wstring>& files) {
  for (const std::wstring& file : files) {
    const std::string path = WideToUtf8(file);
    int error = WriteAccessError(path, W_OK);
    std::string target = path;
    if (error == ENOENT) {
      // The write makes it: the directory must take a new file.
      const std::size_t slash = path.rfind('/');
      target = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
      error = WriteAccessError(target, W_OK | X_OK);
    }
    if (error != 0) {
      return Format(L"cannot write %s (%s): run it as root", Utf8ToWide(target), Utf8ToWide(std::strerror(error)));
    }
  }
  return std::nullopt;
}

std::optional<std::wstring> MissingServiceRights() {
  if (geteuid() == 0) return std::nullopt;
  return std::wstring(L"stopping and starting the service needs root: run it as root (sudo)");
}

}  // namespace qv
