// A write that stops short, for real: a file-size limit lets the kernel take
// only part of a pass, as a full disk does.
#include <gtest/gtest.h>

#include "common/clock.h"
#include "common/files.h"
#include "common/system.h"
#include "monitor/log/log_writer.h"
#include "tests/support/file_size_limit_posix.h"
#include "tests/support/test_clocks.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

TEST(LogWriterShortWrite, IsCutBackAndItsLinesComeAgainWholeAtTheNextPass) {
  test::SetTimeZone("JST-9");
  test::TempDir dir;
  test::StillClock clock;
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
