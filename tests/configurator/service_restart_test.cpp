#include "configurator/service_restart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/service_names.h"
#include "common/text_util.h"
#include "tests/configurator/fake_service_manager.h"

namespace qv {
namespace {

using Journal = std::vector<std::string>;

class ServiceRestart : public ::testing::Test {
 protected:
  ServiceRestart() { test::JournalSleeps(sleeper, journal); }

  Journal journal;
  test::FakeServiceManager scm{journal};
  test::FakeClock sleeper;

  bool Run() {
    bool result = RestartMonitorService(scm, sleeper);
    EXPECT_EQ(scm.OpenHandles(), 0u) << "a handle was left open";
    return result;
  }
};

TEST_F(ServiceRestart, RunningServiceIsStoppedStartedAndConfirmed) {
  scm.states = {kServiceRunning, kServiceStopped, kServiceRunning};
  EXPECT_TRUE(Run());
  EXPECT_EQ(journal, (Journal{"open manager", "open service", "query", "stop", "sleep 1000", "query",
                              "start", "sleep 1000", "query", "close 2", "close 1"}));
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
    scm.states = {state, kServiceStopped, kServiceRunning};
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

// The sleeps between `from` (inclusive) and the next "start" (or the end).
std::uint32_t SleptMs(const Journal& journal, std::size_t from) {
  std::uint32_t total = 0;
  for (std::size_t i = from; i < journal.size() && journal[i] != "start"; ++i) {
    if (journal[i].rfind("sleep ", 0) == 0) total += static_cast<std::uint32_t>(std::stoul(journal[i].substr(6)));
  }
  return total;
}

TEST_F(ServiceRestart, AServiceSlowToStopIsAwaitedBeforeItIsStarted) {
  // Stopping takes about 2.3 s: an alert under way, say.
  scm.states = {kServiceRunning, kServiceStopPending, kServiceStopPending, kServiceStopPending,
                kServiceStopPending, kServiceStopPending, kServiceStopped, kServiceRunning};
  EXPECT_TRUE(Run());
  const Journal expected = {"open manager", "open service", "query", "stop", "sleep 1000",
                            "query", "sleep 250", "query", "sleep 250", "query", "sleep 250",
                            "query", "sleep 250", "query", "sleep 250", "query",
                            "start", "sleep 1000", "query", "close 2", "close 1"};
  EXPECT_EQ(journal, expected);
}

TEST_F(ServiceRestart, AServiceThatDoesNotStopWithinAMinuteIsNotStarted) {
  scm.states.assign(1000, kServiceStopPending);
  EXPECT_FALSE(Run());
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "start"), 0);
  // The first second, then a minute of polling.
  EXPECT_EQ(SleptMs(journal, 0), kRestartWaitMs + kStopWaitBoundMs);
  EXPECT_EQ(journal[journal.size() - 3], "query");
}

TEST_F(ServiceRestart, AStartStillPendingIsAwaitedUpToItsBound) {
  scm.states = {kServiceStopped, kServiceStartPending, kServiceStartPending, kServiceRunning};
  EXPECT_TRUE(Run());
  EXPECT_EQ(journal, (Journal{"open manager", "open service", "query", "start", "sleep 1000", "query",
                              "sleep 250", "query", "sleep 250", "query", "close 2", "close 1"}));

  journal.clear();
  scm.states.assign(1000, kServiceStartPending);
  scm.states.front() = kServiceStopped;
  EXPECT_FALSE(Run());
  const auto start = std::find(journal.begin(), journal.end(), "start");
  ASSERT_NE(start, journal.end());
  EXPECT_EQ(SleptMs(journal, static_cast<std::size_t>(start - journal.begin()) + 1),
            kRestartWaitMs + kStartWaitBoundMs);
}

TEST_F(ServiceRestart, RefusedStartOrFailedQueryWhileWaitingIsAFailure) {
  scm.states = {kServiceRunning, kServiceStopped};
  scm.startAccepted = false;
  EXPECT_FALSE(Run());
  EXPECT_EQ(journal, (Journal{"open manager", "open service", "query", "stop", "sleep 1000", "query",
                              "start", "close 2", "close 1"}));

  journal.clear();
  scm.startAccepted = true;
  scm.states = {kServiceRunning, kServiceStopPending, std::nullopt};
  EXPECT_FALSE(Run());
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "start"), 0);
}

// The installer's helper waits for the stop alone, and asks at once.
TEST_F(ServiceRestart, StopAndWaitWithoutAFirstWaitPollsAtOnceWithinItsBound) {
  const ServiceManager::Handle manager = scm.OpenManager();
  const ServiceManager::Handle service = scm.OpenNamedService(manager, L"any");
  journal.clear();
  scm.states = {kServiceRunning, kServiceStopPending, kServiceStopped};
  EXPECT_TRUE(StopServiceAndWait(scm, sleeper, service, 0, 500));
  EXPECT_EQ(journal, (Journal{"query", "stop", "query", "sleep 250", "query"}));

  scm.states.assign(1000, kServiceStopPending);
  EXPECT_FALSE(StopServiceAndWait(scm, sleeper, service, 0, 500));
  EXPECT_EQ(SleptMs(journal, 5), 500u);
  scm.Close(service);
  scm.Close(manager);
}

// The real manager (under Wine: its Service Control Manager): a service that
// does not exist fails at once, without waiting.
TEST(ServiceRestartSystem, UnknownServiceFailsWithoutWaiting) {
  Journal journal;
  test::FakeClock sleeper;
  test::JournalSleeps(sleeper, journal);
  EXPECT_FALSE(RestartService(SystemServiceManager(), sleeper, L"QvNoSuchService4711"));
  EXPECT_TRUE(journal.empty());
}

}  // namespace
}  // namespace qv
