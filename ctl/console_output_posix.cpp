#include <unistd.h>

#include <cerrno>

#include "common/text_util.h"
#include "ctl/ctl_context.h"

namespace qv {
namespace {

class FdOutput final : public TextOutput {
 public:
  explicit FdOutput(int fd) : fd_(fd) {}
  void Write(std::wstring_view text) override {
    const std::string bytes = WideToUtf8(text);
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;  // a closed reader: nobody is left to tell
      done += static_cast<std::size_t>(n);
    }
  }

 private:
  int fd_;
};

}  // namespace

TextOutput& StandardOutput() {
  static FdOutput out(STDOUT_FILENO);
  return out;
}

TextOutput& StandardError() {
  static FdOutput err(STDERR_FILENO);
  return err;
}

}  // namespace qv
