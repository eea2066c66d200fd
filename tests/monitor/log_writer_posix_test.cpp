// The log writer where the account the service runs as may write: its log
// directory. What it plants there is refused, and nothing waits for it.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "common/clock.h"
#include "common/files.h"
#include "common/system.h"
#include "common/text_util.h"
#include "monitor/log/log_writer.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class StillClock final : public Clock {
 public:
  std::int64_t Now() override { return 1796534560; }
  std::int64_t SteadyMs() override { return 0; }
  void SleepMs(std::uint32_t) override {}
};

std::string N(const std::wstring& path) { return WideToUtf8(path); }

class LogWriterPosix : public testing::Test {
 protected:
  void SetUp() override {
    MakeDirectory(LogDir());
    log.SetDirectory(LogDir());
  }
  std::wstring LogDir() const { return dir.File(L"log"); }
  std::wstring LogFile() const { return JoinPath(LogDir(), L"log.txt"); }

  test::TempDir dir;
  test::TempDir elsewhere;  // root's
  StillClock clock;
  LogWriter log{clock};
};

TEST_F(LogWriterPosix, ALinkAtLogTxtIsNotWrittenThroughAndTheLinesWait) {
  const std::wstring victim = elsewhere.File(L"shadow");
  test::WriteBytes(victim, "root only\n");
  ASSERT_EQ(symlink(N(victim).c_str(), N(LogFile()).c_str()), 0);
  log.Queue(-1, L"x");
  EXPECT_FALSE(log.RunPass());
  EXPECT_EQ(test::ReadBytes(victim), "root only\n");
  EXPECT_EQ(log.BacklogSize(), 1u);
}

TEST_F(LogWriterPosix, AFifoAtLogTxtFailsThePassWithoutWaiting) {
  ASSERT_EQ(mkfifo(N(LogFile()).c_str(), 0666), 0);
  const auto start = std::chrono::steady_clock::now();
  log.Queue(-1, L"x");
  EXPECT_FALSE(log.RunPass());
  log.Queue(-1, L"y");
  log.Flush();  // the stop's flush gives up as well
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

}  // namespace
}  // namespace qv
