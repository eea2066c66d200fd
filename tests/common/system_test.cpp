#include "common/system.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace qv {
namespace {

TEST(System, FormatsLocalTimeInThePinnedZone) {
  test::SetTimeZone("JST-9");
  EXPECT_EQ(FormatLocalTime(1796534560, L"%Y/%m/%d %H:%M:%S"), L"2026/12/06 14:22:40");
  EXPECT_EQ(FormatLocalTime(1796534560, L"%Y%m%d_%H%M%S"), L"20261206_142240");
  test::SetTimeZone("UTC0");
  EXPECT_EQ(FormatLocalTime(1796534560, L"%Y/%m/%d %H:%M:%S"), L"2026/12/06 05:22:40");
}

TEST(System, GivesNoTimeOutsideTheRangeBothRuntimesAccept) {
  test::SetTimeZone("UTC0");
  EXPECT_EQ(FormatLocalTime(-1, L"%Y"), L"");
  EXPECT_EQ(FormatLocalTime(32535216000, L"%Y"), L"");
  EXPECT_EQ(FormatLocalTime(32535215999, L"%Y"), L"3000");
}

TEST(System, KnowsItsOwnDirectoryAndComputerName) {
  std::wstring dir = ExecutableDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(ExecutablePath().substr(0, dir.size() + 1), dir + kPathSeparator);
  std::wstring name = ComputerName();
  EXPECT_FALSE(name.empty());
  EXPECT_LE(name.size(), 15u);
}

}  // namespace
}  // namespace qv
