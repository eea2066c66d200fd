#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/files.h"
#include "common/handles_posix.h"
#include "common/text_util.h"

namespace qv {
namespace {

std::string Native(const std::wstring& path) { return WideToUtf8(path); }

bool IsRegular(int fd) {
  struct stat st {};
  return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// A temporary file untouched for this long was left by a writer that died.
constexpr time_t kStaleTemporarySeconds = 600;

// One level below `at`, made when missing if `make`. A link is followed only
// when it belongs to root or to `trusted`; anything else that is no directory
// fails.
UniqueFd OpenLevel(int at, const std::string& name, uid_t trusted, bool make) {
  struct stat st {};
  if (fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno != ENOENT || !make) return UniqueFd();
    if (mkdirat(at, name.c_str(), 0777) != 0 && errno != EEXIST) return UniqueFd();
    if (fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return UniqueFd();
  }
  int flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  if (!S_ISLNK(st.st_mode)) {
    // Swapped for a link after the look: the open fails rather than follow it.
    flags |= O_NOFOLLOW;
  } else if (st.st_uid != 0 && st.st_uid != trusted) {
    return UniqueFd();
  }
  return UniqueFd(openat(at, name.c_str(), flags));
}

// A file that root has just made in a directory of another owner goes to
// that owner: the service account writes it next, and could not otherwise.
void GiveToDirectoryOwner(int fd, const std::string& path) {
  if (geteuid() != 0) return;
  const std::size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  struct stat st {};
  if (stat(directory.c_str(), &st) == 0 && st.st_uid != 0) {
    static_cast<void>(fchown(fd, st.st_uid, st.st_gid));
  }
}

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
  // Without blocking: a FIFO in place of the source would wait for a writer.
  UniqueFd in(open(Native(from).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!in || !IsRegular(in.Get())) return false;
  // The old name goes first and the copy is made new (O_EXCL never follows a
  // link): whoever planted a link there cannot choose where the copy lands.
  RemoveFile(to);
  std::string target = Native(to);
  const mode_t mode = ownerOnly ? 0600 : 0666;
  UniqueFd out(open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
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

bool CreateNewFile(const std::wstring& path, bool ownerOnly) {
  const mode_t mode = ownerOnly ? 0600 : 0666;
  UniqueFd fd(open(Native(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
  if (!fd) return false;
  if (ownerOnly) fchmod(fd.Get(), 0600);
  return true;
}

AppendResult AppendToFile(const std::wstring& path, std::string_view bytes) {
  AppendResult result;
  // Never through a link at the name, never waiting for a FIFO's reader.
  constexpr int kFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  const std::string name = Native(path);
  UniqueFd fd;
  bool made = false;
  // Made, or else opened as it is; once more if it went in between.
  for (int attempt = 0; attempt < 2 && !fd; ++attempt) {
    fd.Reset(open(name.c_str(), kFlags | O_CREAT | O_EXCL, 0666));
    made = fd.IsValid();
    if (!fd && errno == EEXIST) fd.Reset(open(name.c_str(), kFlags));
  }
  if (!fd || !IsRegular(fd.Get())) return result;
  if (made) GiveToDirectoryOwner(fd.Get(), name);
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
  UniqueFd fd(open(Native(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd || !IsRegular(fd.Get())) return std::nullopt;
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

std::wstring UnreadableReason(const std::wstring& path) {
  UniqueFd fd(open(Native(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) {
    if (errno == ENOENT || errno == ENOTDIR) return L"no such file";
    if (errno == EACCES || errno == EPERM) return L"permission denied";
    return Utf8ToWide(std::strerror(errno));
  }
  struct stat st {};
  if (fstat(fd.Get(), &st) != 0) return Utf8ToWide(std::strerror(errno));
  if (S_ISDIR(st.st_mode)) return L"a directory";
  if (!S_ISREG(st.st_mode)) return L"not a regular file";
  return L"";
}

std::optional<std::uint64_t> RegularFileSize(const std::wstring& path) {
  struct stat st {};
  if (lstat(Native(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

bool MoveFileReplace(const std::wstring& from, const std::wstring& to) {
  return rename(Native(from).c_str(), Native(to).c_str()) == 0;
}

bool ClearReadOnly(const std::wstring&) { return true; }

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

struct HeldDirectory::Handle {
  UniqueFd fd;
  dev_t device = 0;
  ino_t inode = 0;
};

HeldDirectory::HeldDirectory(std::unique_ptr<Handle> handle, std::wstring path)
    : handle_(std::move(handle)), path_(std::move(path)) {}
HeldDirectory::HeldDirectory(HeldDirectory&&) noexcept = default;
HeldDirectory& HeldDirectory::operator=(HeldDirectory&&) noexcept = default;
HeldDirectory::~HeldDirectory() = default;

bool HeldDirectory::IsAt(const std::wstring& path) const {
  struct stat named {};
  return stat(Native(path).c_str(), &named) == 0 && named.st_dev == handle_->device &&
         named.st_ino == handle_->inode;
}

std::optional<HeldDirectory> OpenDirectoryLevels(const std::wstring& path, const std::wstring& programDirectory,
                                                 bool make) {
  const std::string target = Native(path);
  if (target.empty()) return std::nullopt;
  struct stat program {};
  const uid_t trusted = stat(Native(programDirectory).c_str(), &program) == 0 ? program.st_uid : 0;
  // Level by level from the root, so that no level on the way can be a link
  // that someone else planted.
  UniqueFd at(open(target[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  std::size_t begin = 0;
  while (at && begin < target.size()) {
    std::size_t end = target.find('/', begin);
    if (end == std::string::npos) end = target.size();
    const std::string level = target.substr(begin, end - begin);
    begin = end + 1;
    if (level.empty() || level == ".") continue;
    at = OpenLevel(at.Get(), level, trusted, make);
  }
  struct stat opened {};
  if (!at || fstat(at.Get(), &opened) != 0) return std::nullopt;
  // The descriptor's name in /proc reaches this very directory, wherever it
  // is moved meanwhile. Without /proc the checked path has to do.
  std::string held = "/proc/self/fd/" + std::to_string(at.Get());
  struct stat viaProc {};
  if (stat(held.c_str(), &viaProc) != 0 || viaProc.st_dev != opened.st_dev || viaProc.st_ino != opened.st_ino) {
    held = target;
  }
  auto handle = std::make_unique<HeldDirectory::Handle>();
  handle->fd = std::move(at);
  handle->device = opened.st_dev;
  handle->inode = opened.st_ino;
  return HeldDirectory(std::move(handle), Utf8ToWide(held));
}

bool ReplaceFileAtomically(const HeldDirectory& directory, const std::wstring& name, std::string_view bytes) {
  const int at = directory.Get().fd.Get();
  const std::string target = Native(name);
  const std::string temp = Native(NewTemporaryName(name));
  if (temp.empty()) return false;
  // A new file under a name nobody could foresee: nothing planted there is
  // followed, truncated or handed our mode.
  UniqueFd fd(openat(at, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!fd) return false;
  // Whatever the umask, the exporter reading the file runs as another user.
  bool ok = fchmod(fd.Get(), 0644) == 0 && WriteAll(fd.Get(), bytes);
  ok = close(fd.Release()) == 0 && ok;
  if (!ok) {
    unlinkat(at, temp.c_str(), 0);
    return false;
  }
  // A rename over an existing file makes ext4 write the new data out at once
  // (about 100 us); exchanging the two names and removing the old file then
  // does not. Either way a reader finds one whole file.
  struct stat st {};
  if (fstatat(at, target.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
      renameat2(at, temp.c_str(), at, target.c_str(), RENAME_EXCHANGE) == 0) {
    unlinkat(at, temp.c_str(), 0);
    return true;
  }
  if (renameat(at, temp.c_str(), at, target.c_str()) == 0) return true;
  unlinkat(at, temp.c_str(), 0);
  return false;
}

void RemoveStaleTemporaries(const HeldDirectory& directory, const std::wstring& name) {
  const int at = directory.Get().fd.Get();
  // The held descriptor only names the directory; reading it takes one more.
  UniqueFd listing(openat(at, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!listing) return;
  UniqueDir d(fdopendir(listing.Get()));
  if (!d) return;
  listing.Release();  // the stream owns it now
  const time_t staleBefore = time(nullptr) - kStaleTemporarySeconds;
  while (dirent* e = readdir(d.Get())) {
    if (!IsTemporaryName(Utf8ToWide(e->d_name), name)) continue;
    struct stat st {};
    if (fstatat(at, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() ||
        st.st_mtime >= staleBefore) {
      continue;
    }
    unlinkat(at, e->d_name, 0);
  }
}

}  // namespace qv
