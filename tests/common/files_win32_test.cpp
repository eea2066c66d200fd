// The log directory held open on Windows: nobody can move it meanwhile.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/files.h"
#include "common/system.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

TEST(HeldDirectory, CannotBeMovedWhileHeldAndItsFilesStillCan) {
  if (test::RunningUnderWine()) GTEST_SKIP() << "Wine does not hold a directory's share mode against a rename";
  test::TempDir dir;
  const std::wstring log = JoinPath(JoinPath(dir.Path(), L"a"), L"log");
  {
    std::optional<HeldDirectory> held = OpenDirectoryCreatingLevels(log, dir.Path());
    ASSERT_TRUE(held);
    EXPECT_FALSE(MoveFileW(log.c_str(), dir.File(L"moved").c_str()));
    ASSERT_TRUE(AppendToFile(JoinPath(held->Path(), L"log.txt"), "line\r\n").complete);
    EXPECT_TRUE(MoveFileNoReplace(JoinPath(held->Path(), L"log.txt"), JoinPath(held->Path(), L"x_log.txt")));
  }
  EXPECT_TRUE(MoveFileW(log.c_str(), dir.File(L"moved").c_str()));
}

}  // namespace
}  // namespace qv
