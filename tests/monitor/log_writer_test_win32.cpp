// Another program holding log.txt: locked against writing (a byte range) or
// opened without sharing. Either way the pass fails and its lines wait.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/handles_win32.h"
#include "monitor/log/log_writer.h"
#include "tests/support/fake_clock.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

UniqueKernelHandle OpenForLocking(const std::wstring& path, DWORD share) {
  return UniqueKernelHandle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

class LogWriterLockedFile : public ::testing::Test {
 protected:
  void SetUp() override {
    test::SetTimeZone("JST-9");
    log.SetDirectory(dir.Path());
    test::WriteBytes(log.CurrentLogPath(), earlier);
  }
  // Two lines fail while `hold` keeps the file; once it is let go, a third
  // pass writes all three, whole and in order.
  void ExpectLinesKeptWhileHeld(UniqueKernelHandle hold) {
    log.Queue(-1, L"first");
    log.Queue(-1, L"second");
    EXPECT_FALSE(log.RunPass());
    EXPECT_EQ(log.BacklogSize(), 2u);
    hold.Reset();
    EXPECT_EQ(test::ReadBytes(log.CurrentLogPath()), earlier);
    log.Queue(-1, L"third");
    EXPECT_TRUE(log.RunPass());
    EXPECT_EQ(test::ReadBytes(log.CurrentLogPath()),
              earlier + "2026/12/06 14:22:40|-|first\r\n2026/12/06 14:22:40|-|second\r\n" +
                  "2026/12/06 14:22:40|-|third\r\n");
  }

  const std::string earlier = "2026/12/06 14:22:39|-|earlier\r\n";
  test::TempDir dir;
  test::FakeClock clock;
  LogWriter log{clock};
};

TEST_F(LogWriterLockedFile, ARangeLockedAgainstWritingFailsThePass) {
  if (test::RunningUnderWine()) GTEST_SKIP() << "Wine does not enforce byte-range locks on writes";
  UniqueKernelHandle hold = OpenForLocking(log.CurrentLogPath(), FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_TRUE(hold);
  OVERLAPPED whole{};
  ASSERT_TRUE(LockFileEx(hold.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                         MAXDWORD, &whole));
  ExpectLinesKeptWhileHeld(std::move(hold));
}

TEST_F(LogWriterLockedFile, AFileOpenedWithoutSharingFailsThePass) {
  UniqueKernelHandle hold = OpenForLocking(log.CurrentLogPath(), 0);
  ASSERT_TRUE(hold);
  ExpectLinesKeptWhileHeld(std::move(hold));
}

}  // namespace
}  // namespace qv
