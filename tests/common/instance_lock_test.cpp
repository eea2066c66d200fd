#include "common/instance_lock.h"

#include <gtest/gtest.h>

#include "common/system.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

// What quorvanexctl asks, with the folder spelled as a user may type it.
TEST(InstanceLock, AMonitorRunsInTheFolderItHoldsUntilItLetsGo) {
  test::TempDir folder;
  test::TempDir other;
  InstanceLock lock;
  ASSERT_EQ(lock.Acquire(folder.Path()), InstanceLock::Result::Acquired);
  EXPECT_TRUE(MonitorRunsIn(folder.Path() + kPathSeparator));
  EXPECT_FALSE(MonitorRunsIn(other.Path()));
  lock.Release();
  EXPECT_FALSE(MonitorRunsIn(folder.Path()));
}

}  // namespace
}  // namespace qv
