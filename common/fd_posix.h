#pragma once
// A file descriptor that closes itself, and a write that survives signals.
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace qv {

struct Fd {
  int fd;
  explicit Fd(int value) : fd(value) {}
  ~Fd() {
    if (fd >= 0) close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Release() {
    int f = fd;
    fd = -1;
    return f;
  }
};

inline bool WriteAll(int fd, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace qv
