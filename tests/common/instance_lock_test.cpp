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

using Result = InstanceLock::Result;

TEST(InstanceLock, OneHolderPerFolderUntilItLetsGo) {
  test::TempDir folder;
  test::TempDir other;
  InstanceLock first;
  ASSERT_EQ(first.Acquire(folder.Path()), Result::Acquired);
  EXPECT_TRUE(MonitorRunsIn(folder.Path()));
  EXPECT_FALSE(MonitorRunsIn(other.Path()));

  InstanceLock second;
  EXPECT_EQ(second.Acquire(folder.Path()), Result::Busy);
  EXPECT_FALSE(second.Held());
  InstanceLock elsewhere;
  EXPECT_EQ(elsewhere.Acquire(other.Path()), Result::Acquired);

  first.Release();
  EXPECT_FALSE(MonitorRunsIn(folder.Path()));
  EXPECT_EQ(second.Acquire(folder.Path()), Result::Acquired);
}

TEST(InstanceLock, AnotherSpellingOfTheFolderIsTheSameFolder) {
  test::TempDir folder;
  InstanceLock lock;
  ASSERT_EQ(lock.Acquire(folder.Path()), Result::Acquired);
  std::vector<std::wstring> spellings = {folder.Path() + kPathSeparator, JoinPath(folder.Path(), L"."),
                                         JoinPath(JoinPath(folder.Path(), L"sub"), L"..")};
  if (kPathSeparator == L'\\') {
    std::wstring upper = folder.Path();
    for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
    spellings.push_back(upper);
  }
  std::filesystem::create_directory(std::filesystem::path(folder.File(L"sub")));
  for (const std::wstring& spelling : spellings) {
    EXPECT_TRUE(MonitorRunsIn(spelling)) << WideToUtf8(spelling);
  }
}

}  // namespace
}  // namespace qv
