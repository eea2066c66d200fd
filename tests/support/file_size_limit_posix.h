#pragma once
// A write that stops short, for real: a file-size limit lets the kernel take
// only part of it, as a full disk does.
#include <sys/resource.h>

#include <csignal>

namespace qv::test {

// RLIMIT_FSIZE for this process while it lives; SIGXFSZ ignored, so that the
// write past the limit fails with EFBIG instead of ending the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() { Lift(); }
  void Lift() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit saved_{};
  void (*previousHandler_)(int) = SIG_DFL;
};

}  // namespace qv::test
