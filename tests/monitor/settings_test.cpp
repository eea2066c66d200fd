#include "settings.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace qv {
namespace {

TEST(MonitorSettings, MissingFilesGiveTheDefaults) {
  test::TempDir dir;
  MonitorSettings s;
  LoadSettings(s, dir.Path());
  EXPECT_EQ(s.exeDirectory, dir.Path());
  EXPECT_EQ(s.intervalMinutes, 5);
  EXPECT_EQ(s.pingThreshold, 5);
  EXPECT_EQ(s.deviceThreshold, 5);
  EXPECT_EQ(s.logDirectory, dir.File(L"log"));
  EXPECT_TRUE(s.hardwarePattern.empty());
  EXPECT_TRUE(s.servers.empty());
  EXPECT_EQ(s.mailSendLimit, 0u);
  EXPECT_TRUE(s.screenAlertEnabled);
}

}  // namespace
}  // namespace qv
