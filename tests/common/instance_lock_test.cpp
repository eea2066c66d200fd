#include "common/instance_lock.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <filesystem>
#include <string>
#include <vector>

#include "common/system.h"
#include "common/text_util.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

// What quorvanexctl asks: any spelling of a held folder is that folder.
TEST(InstanceLock, AMonitorRunsInTheFolderItHoldsHoweverItIsSpelled) {
  test::TempDir folder;
  test::TempDir other;
  std::filesystem::create_directory(std::filesystem::path(folder.File(L"sub")));
  InstanceLock lock;
  ASSERT_EQ(lock.Acquire(folder.Path()), InstanceLock::Result::Acquired);
  std::vector<std::wstring> spellings = {folder.Path(), folder.Path() + kPathSeparator,
                                         JoinPath(JoinPath(folder.Path(), L"sub"), L"..")};
  if (kPathSeparator == L'\\') {  // Windows paths do not tell case apart
    std::wstring upper = folder.Path();
    for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
    spellings.push_back(upper);
  }
  for (const std::wstring& spelling : spellings) EXPECT_TRUE(MonitorRunsIn(spelling)) << WideToUtf8(spelling);
  EXPECT_FALSE(MonitorRunsIn(other.Path()));
  lock.Release();
  EXPECT_FALSE(MonitorRunsIn(folder.Path()));
}

}  // namespace
}  // namespace qv
