#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/files.h"
#include "common/handles_posix.h"
#include "common/text_util.h"

namespace qv {
namespace {

std::string Native(const std::wstring& path) { return WideToUtf8(path); }

}  // namespace

bool PathExists(const std::wstring& path) {
  struct stat st {};
  return stat(Native(path).c_str(), &st) == 0;
}

bool IsDirectory(const std::wstring& path) {
  struct stat st {};
  return stat(Native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(const std::wstring& path) { return mkdir(Native(path).c_str(), 0777) == 0; }

bool RemoveFile(const std::wstring& path) {
  std::string p = Native(path);
  struct stat st {};
  if (lstat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return unlink(p.c_str()) == 0;
}

bool MoveFileNoReplace(const std::wstring& from, const std::wstring& to) {
  std::string src = Native(from);
  std::string dst = Native(to);
  // link + unlink refuses an existing target atomically, as MoveFileW does.
  if (link(src.c_str(), dst.c_str()) == 0) {
    unlink(src.c_str());
    return true;
  }
  if (errno == EEXIST) return false;
  struct stat st {};
  if (stat(dst.c_str(), &st) == 0) return false;
  return rename(src.c_str(), dst.c_str()) == 0;
}

bool CopyFileReplace(const std::wstring& from, const std::wstring& to, bool ownerOnly) {
  UniqueFd in(open(Native(from).c_str(), O_RDONLY | O_CLOEXEC));
  if (!in) return false;
  std::string target = Native(to);
  const mode_t mode = ownerOnly ? 0600 : 0666;
  UniqueFd out(open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
  if (!out) return false;
  if (ownerOnly) fchmod(out.Get(), 0600);
  char buffer[65536];
  for (;;) {
    ssize_t n = read(in.Get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    if (!WriteAll(out.Get(), std::string_view(buffer, static_cast<std::size_t>(n)))) return false;
  }
  return true;
}

AppendResult AppendToFile(const std::wstring& path, std::string_view bytes) {
  AppendResult result;
  UniqueFd fd(open(Native(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
  if (!fd) return result;
  result.opened = true;
  struct stat st {};
  if (fstat(fd.Get(), &st) != 0) return result;  // no length to cut back to: write nothing
  result.sizeBefore = static_cast<std::uint64_t>(st.st_size);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd.Get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // a full disk ends here, after a short write
    done += static_cast<std::size_t>(n);
  }
  result.complete = done == bytes.size();
  result.sizeAfter = fstat(fd.Get(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size)
                                                 : result.sizeBefore + done;
  return result;
}

bool TruncateFile(const std::wstring& path, std::uint64_t size) {
  UniqueFd fd(open(Native(path).c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (!fd) return false;
  struct stat st {};
  if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return ftruncate(fd.Get(), static_cast<off_t>(size)) == 0;
}

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  UniqueFd fd(open(Native(path).c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return std::nullopt;
  struct stat st {};
  if (fstat(fd.Get(), &st) == 0 && S_ISDIR(st.st_mode)) return std::nullopt;
  std::string out;
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd.Get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  return out;
}

std::vector<std::wstring> ListFilesEndingWith(const std::wstring& directory, std::wstring_view suffix) {
  std::vector<std::wstring> names;
  std::string dir = Native(directory);
  UniqueDir d(opendir(dir.c_str()));
  if (!d) return names;
  while (dirent* e = readdir(d.Get())) {
    std::wstring name = Utf8ToWide(e->d_name);
    if (name.size() < suffix.size()) continue;
    // FindFirstFileW patterns match without case.
    if (!EqualsNoCase(std::wstring_view(name).substr(name.size() - suffix.size()), suffix)) continue;
    struct stat st {};
    if (stat((dir + "/" + e->d_name).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
    names.push_back(std::move(name));
  }
  return names;
}

}  // namespace qv
