// A write that stops short, for real: a file-size limit lets the kernel take
// only part of a pass, as a full disk does.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <csignal>

#include "common/clock.h"
#include "common/files.h"
#include "common/system.h"
#include "monitor/log/log_writer.h"
#include "tests/support/test_clocks.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

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

TEST(LogWriterShortWrite, IsCutBackAndItsLinesComeAgainWholeAtTheNextPass) {
  test::SetTimeZone("JST-9");
  test::TempDir dir;
  test::StillClock clock;
  LogWriter log(clock);
  log.SetDirectory(dir.Path());
  const std::string earlier = "2026/12/06 14:22:39|-|earlier\r\n";
  test::WriteBytes(log.CurrentLogPath(), earlier);

  FileSizeLimit limit(earlier.size() + 10);  // room for part of one line
  log.Queue(-1, L"first");
  log.Queue(-1, L"second");
  EXPECT_FALSE(log.RunPass());
  EXPECT_EQ(test::ReadBytes(log.CurrentLogPath()), earlier);
  EXPECT_EQ(log.BacklogSize(), 2u);

  limit.Lift();
  log.Queue(-1, L"third");
  EXPECT_TRUE(log.RunPass());
  EXPECT_EQ(test::ReadBytes(log.CurrentLogPath()),
            earlier + "2026/12/06 14:22:40|-|first\r\n2026/12/06 14:22:40|-|second\r\n" +
                "2026/12/06 14:22:40|-|third\r\n");
  EXPECT_EQ(log.BacklogSize(), 0u);
}

}  // namespace
}  // namespace qv
