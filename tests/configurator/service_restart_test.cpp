#include "configurator/service_restart.h"

#include <gtest/gtest.h>

#include "common/service_names.h"
#include "common/text_util.h"
#include "tests/configurator/fake_service_manager.h"

namespace qv {
namespace {

using Journal = std::vector<std::string>;

class ServiceRestart : public ::testing::Test {
 protected:
  Journal journal;
  test::FakeServiceManager scm{journal};
  test::FakeSleeper sleeper{journal};

  bool Run() {
    bool result = RestartMonitorService(scm, sleeper);
    EXPECT_EQ(scm.OpenHandles(), 0u) << "a handle was left open";
    return result;
  }
};

TEST_F(ServiceRestart, RunningServiceIsStoppedStartedAndConfirmed) {
  scm.states = {kServiceRunning, kServiceRunning};
  EXPECT_TRUE(Run());
  EXPECT_EQ(journal, (Journal{"open manager", "open service", "query", "stop", "sleep 1000", "start",
                              "sleep 1000", "query", "close 2", "close 1"}));
  // The Configurator's spelling, the Monitor's service.
  EXPECT_EQ(scm.openedName, L"QuorvanexDeviceChecker");
  EXPECT_TRUE(EqualsNoCase(scm.openedName, kMonitorServiceName));
}

TEST_F(ServiceRestart, StoppedServiceIsOnlyStartedWithOneWait) {
  scm.states = {kServiceStopped, kServiceRunning};
  EXPECT_TRUE(Run());
  EXPECT_EQ(journal, (Journal{"open manager", "open service", "query", "start", "sleep 1000", "query",
                              "close 2", "close 1"}));
}

TEST_F(ServiceRestart, PendingAndPausedStatesAreStoppedFirst) {
  for (std::uint32_t state : {2u /*start pending*/, 3u /*stop pending*/, 7u /*paused*/}) {
    journal.clear();
    scm.states = {state, kServiceRunning};
    EXPECT_TRUE(Run()) << state;
    ASSERT_GE(journal.size(), 5u);
    EXPECT_EQ(journal[3], "stop") << state;
    EXPECT_EQ(journal[4], "sleep 1000") << state;
  }
}

TEST_F(ServiceRestart, ManagerThatDoesNotOpenFailsWithNothingToClose) {
  scm.managerOpens = false;
  EXPECT_FALSE(Run());
  EXPECT_EQ(journal, (Journal{"open manager"}));
}

TEST_F(ServiceRestart, ServiceNotInstalledFailsAndClosesTheManager) {
  scm.serviceInstalled = false;
  EXPECT_FALSE(Run());
  EXPECT_EQ(journal, (Journal{"open manager", "open service", "close 1"}));
}

TEST_F(ServiceRestart, FailedFirstQueryTouchesNothing) {
  scm.states = {std::nullopt};
  EXPECT_FALSE(Run());
  EXPECT_EQ(journal, (Journal{"open manager", "open service", "query", "close 2", "close 1"}));
}

TEST_F(ServiceRestart, ServiceTooSlowToStopMakesTheStartFail) {
  scm.states = {kServiceRunning};
  scm.startAccepted = false;
  EXPECT_FALSE(Run());
  EXPECT_EQ(journal, (Journal{"open manager", "open service", "query", "stop", "sleep 1000", "start",
                              "close 2", "close 1"}));
}

TEST_F(ServiceRestart, StartStillPendingAfterTheWaitIsAFailure) {
  scm.states = {kServiceStopped, 2u /*start pending*/};
  EXPECT_FALSE(Run());
  EXPECT_EQ(journal.back(), "close 1");
}

// The real manager (under Wine: its Service Control Manager): a service that
// does not exist fails at once, without waiting.
TEST(ServiceRestartSystem, UnknownServiceFailsWithoutWaiting) {
  Journal journal;
  test::FakeSleeper sleeper{journal};
  EXPECT_FALSE(RestartService(SystemServiceManager(), sleeper, L"QvNoSuchService4711"));
  EXPECT_TRUE(journal.empty());
}

}  // namespace
}  // namespace qv
