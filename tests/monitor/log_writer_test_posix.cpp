// The log writer where the account the service runs as may write: its log
// directory. What it plants there is refused, and nothing waits for it. And a
// write that stops short, for real.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "common/files.h"
#include "common/system.h"
#include "common/text_util.h"
#include "monitor/log/log_writer.h"
#include "tests/support/fake_clock.h"
#include "tests/support/file_size_limit_posix.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uid_t kServiceAccount = 64124;  // nobody's uid here

std::string N(const std::wstring& path) { return WideToUtf8(path); }

class LogWriterPosix : public testing::Test {
 protected:
  void SetUp() override {
    // The test binary's directory stands for the program directory: root's.
    MakeDirectory(LogDir());
    log.SetDirectory(LogDir());
  }
  std::wstring LogDir() const { return dir.File(L"log"); }
  std::wstring LogFile() const { return JoinPath(LogDir(), L"log.txt"); }

  test::TempDir dir;
  test::TempDir elsewhere;  // root's
  test::FakeClock clock;
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

TEST_F(LogWriterPosix, ALogDirectoryLinkOnlyTheServiceAccountCouldHavePlantedIsNotUsed) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a link to another account";
  // Another directory with a full set of rotated files and a log past 150 KiB.
  for (int i = 1; i <= 31; ++i) {
    test::WriteBytes(elsewhere.File(L"202601" + std::to_wstring(10 + i) + L"_000000_log.txt"), "old");
  }
  test::WriteBytes(elsewhere.File(L"log.txt"), std::string(153601, 'a'));
  fs::remove(fs::path(N(LogDir())));
  ASSERT_EQ(symlink(N(elsewhere.Path()).c_str(), N(LogDir()).c_str()), 0);
  ASSERT_EQ(lchown(N(LogDir()).c_str(), kServiceAccount, kServiceAccount), 0);

  log.Queue(-1, L"x");
  EXPECT_FALSE(log.RunPass());
  EXPECT_EQ(fs::file_size(fs::path(N(elsewhere.File(L"log.txt")))), 153601u);
  EXPECT_EQ(ListFilesEndingWith(elsewhere.Path(), L"_log.txt").size(), 31u);

  // The same link made by root, as the package makes it, is followed.
  ASSERT_EQ(lchown(N(LogDir()).c_str(), 0, 0), 0);
  EXPECT_TRUE(log.RunPass());
  EXPECT_FALSE(PathExists(elsewhere.File(L"log.txt")));  // rotated
  EXPECT_EQ(ListFilesEndingWith(elsewhere.Path(), L"_log.txt").size(), 30u);
}

// A file-size limit lets the kernel take only part of a pass, as a full disk
// does.
TEST(LogWriterShortWrite, IsCutBackAndItsLinesComeAgainWholeAtTheNextPass) {
  test::SetTimeZone("JST-9");
  test::TempDir dir;
  test::FakeClock clock;
  LogWriter log(clock);
  log.SetDirectory(dir.Path());
  const std::string earlier = "2026/12/06 14:22:39|-|earlier\r\n";
  test::WriteBytes(log.CurrentLogPath(), earlier);

  test::FileSizeLimit limit(earlier.size() + 10);  // room for part of one line
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
