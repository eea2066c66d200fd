#pragma once
// Owners for file descriptors and directory streams, and a write that
// survives signals.
#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string_view>

#include "common/unique_handle.h"

namespace qv {

struct FdTraits {
  using Handle = int;
  static int Invalid() noexcept { return -1; }
  static bool IsValid(int fd) noexcept { return fd >= 0; }
  static void Close(int fd) noexcept { ::close(fd); }
};
using UniqueFd = UniqueHandle<FdTraits>;

struct DirTraits {
  using Handle = DIR*;
  static DIR* Invalid() noexcept { return nullptr; }
  static bool IsValid(DIR* dir) noexcept { return dir != nullptr; }
  static void Close(DIR* dir) noexcept { ::closedir(dir); }
};
using UniqueDir = UniqueHandle<DirTraits>;

// Both ends of a pipe.
struct UniquePipe {
  UniqueFd read;
  UniqueFd write;
};

// pipe2 with `flags`; false (and errno set) when it fails.
inline bool MakePipe(UniquePipe& pipe, int flags) {
  int fds[2] = {-1, -1};
  if (::pipe2(fds, flags) != 0) return false;
  pipe.read.Reset(fds[0]);
  pipe.write.Reset(fds[1]);
  return true;
}

inline bool WriteAll(int fd, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace qv
