#include <map>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "monitor/checks/checker.h"
#include "monitor/log/log_writer.h"
#include "monitor/messages.h"
#include "monitor/settings.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_process_runner.h"
#include "tests/support/fake_wmi.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

QuorvanexServerInfo Server(const std::wstring& address, bool enabled = true) {
  QuorvanexServerInfo info;
  info.server = address;
  info.enabled = enabled;
  return info;
}

class CheckerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TakeQueuedLogEntries();
    settings.exeDirectory = dir.Path();
    settings.intervalMinutes = 0;
    settings.pingThreshold = 0;
    settings.deviceThreshold = 0;
    settings.hardwarePattern = L"USB\\\\VID_0001";
    settings.mailSendLimit = 0;
    settings.screenAlertEnabled = false;
  }
  void TearDown() override { TakeQueuedLogEntries(); }

  Checker& Make() {
    CheckerPorts ports;
    ports.pingAddress = [this](const std::wstring& address) {
      pinged.push_back(address);
      if (address == stopWhilePinging.first) stopWhilePinging.second->request_stop();
      auto it = answers.find(address);
      return it != answers.end() && it->second;
    };
    ports.newWmiConnection = wmi.Connections();
    ports.processRunner = &runner;
    ports.clock = &clock;
    checker = std::make_unique<Checker>(settings, std::move(ports));
    return *checker;
  }

  // Runs one cycle and returns what it logged.
  std::vector<std::wstring> Cycle() {
    if (!checker) Make();
    checker->RunCycle();
    std::vector<std::wstring> lines;
    for (LogEntry& entry : TakeQueuedLogEntries()) lines.push_back(std::move(entry.message));
    return lines;
  }

  // 1-based numbers of the cycles, out of `cycles`, that logged `line`.
  std::vector<int> CyclesLogging(int cycles, const std::wstring& line) {
    std::vector<int> hits;
    for (int i = 1; i <= cycles; ++i) {
      for (const std::wstring& logged : Cycle()) {
        if (logged == line) hits.push_back(i);
      }
    }
    return hits;
  }

  std::wstring MailSent() const { return std::wstring(L"メール送信 成功:") + checker->Info().server; }
  std::wstring MailFailed() const { return std::wstring(L"メール送信 失敗:") + checker->Info().server; }

  test::TempDir dir;
  MonitorSettings settings;
  test::FakeWmi wmi;
  test::FakeProcessRunner runner;
  test::FakeClock clock;
  std::map<std::wstring, bool> answers;
  std::vector<std::wstring> pinged;
  std::pair<std::wstring, std::stop_source*> stopWhilePinging;  // a stop while this server is pinged
  std::unique_ptr<Checker> checker;
};

TEST_F(CheckerTest, PingThresholdAlertsAtEveryTPlusOnethFailureWithoutMail) {
  settings.pingThreshold = 5;
  settings.servers = {Server(L"server01")};
  EXPECT_EQ(CyclesLogging(18, msg::kPingThresholdExceeded), (std::vector<int>{6, 12, 18}));
  EXPECT_EQ(checker->PingState().errorCount, 0u);  // a handled crossing starts the count again
  EXPECT_EQ(runner.Runs(), 0);
}

TEST_F(CheckerTest, FailuresNeedNotBeConsecutive) {
  settings.deviceThreshold = 5;
  wmi.statuses = {{true, L"Error"}, {false, L""}, {true, L"Degraded"}, {true, L"ok"},
                  {true, L"Error"}, {true, L"Error"}, {true, L"Error"}};
  EXPECT_EQ(CyclesLogging(7, msg::kDeviceThresholdExceeded), (std::vector<int>{7}));
  EXPECT_EQ(wmi.lastPattern, settings.hardwarePattern);
  EXPECT_EQ(wmi.Count(L"Release"), 7);  // the connection is given up every cycle

  settings.pingThreshold = 2;
  settings.deviceThreshold = 0;
  settings.servers = {Server(L"10.0.0.1")};
  checker.reset();
  Make();
  std::vector<std::wstring> seen;
  for (bool answer : {false, true, false, true, false}) {
    answers[L"10.0.0.1"] = answer;
    for (const std::wstring& line : Cycle()) seen.push_back(line);
  }
  EXPECT_EQ(seen, (std::vector<std::wstring>{msg::kPingThresholdExceeded}));
}

TEST_F(CheckerTest, FailedWmiConnectionCountsNothingAndKeepsTheEpisode) {
  settings.deviceThreshold = 1;
  settings.screenAlertEnabled = true;
  wmi.laterStatus = {true, L"Error"};
  EXPECT_EQ(CyclesLogging(2, msg::kDeviceThresholdExceeded), (std::vector<int>{2}));
  EXPECT_EQ(checker->DeviceState().alertShown, 1u);
  wmi.connects = false;
  EXPECT_TRUE(CyclesLogging(5, msg::kDeviceThresholdExceeded).empty());
  EXPECT_EQ(checker->DeviceState().errorCount, 0u);
  EXPECT_EQ(checker->DeviceState().alertShown, 1u);
  EXPECT_EQ(wmi.Count(L"QueryDeviceStatus"), 2);
  EXPECT_EQ(wmi.Count(L"Release"), wmi.created);  // released on every path
}

TEST_F(CheckerTest, MailLimitTwoMailsAtTheFirstTwoCrossingsUntilASuccessReArms) {
  settings.pingThreshold = 1;
  settings.mailSendLimit = 2;
  settings.screenAlertEnabled = true;
  settings.servers = {Server(L"10.0.0.1")};
  Make();
  // Crossings at cycles 2, 4, 6, 8.
  EXPECT_EQ(CyclesLogging(8, MailSent()), (std::vector<int>{2, 4}));
  EXPECT_EQ(runner.Runs(), 2);
  EXPECT_EQ(wmi.startedCommands.size(), 1u);  // the on-screen alert once per episode
  EXPECT_EQ(checker->PingState().errorCount, 0u);     // the limit also clears the counter

  answers[L"10.0.0.1"] = true;
  Cycle();
  EXPECT_EQ(checker->PingState().mailCount, 0u);
  EXPECT_EQ(checker->PingState().alertShown, 0u);
  answers[L"10.0.0.1"] = false;
  std::vector<std::wstring> lines = Cycle();
  lines = Cycle();
  EXPECT_EQ(lines, (std::vector<std::wstring>{msg::kPingThresholdExceeded, msg::kScreenAlertPing,
                                              MailSent()}));
  EXPECT_EQ(wmi.startedCommands.size(), 2u);
}

TEST_F(CheckerTest, MailLimit99MailsAtEveryCrossingWhileLimit10StopsAfterTen) {
  settings.deviceThreshold = 1;
  wmi.laterStatus = {false, L""};
  std::vector<int> everyCrossing;
  for (int cycle = 2; cycle <= 30; cycle += 2) everyCrossing.push_back(cycle);

  settings.mailSendLimit = 99;
  Make();
  EXPECT_EQ(CyclesLogging(30, MailSent()), everyCrossing);

  settings.mailSendLimit = 10;
  checker.reset();
  Make();
  EXPECT_EQ(CyclesLogging(30, MailSent()), std::vector<int>(everyCrossing.begin(), everyCrossing.begin() + 10));
  EXPECT_EQ(CyclesLogging(4, msg::kDeviceThresholdExceeded), (std::vector<int>{2, 4}));
  EXPECT_EQ(runner.Runs(), 25);
}

TEST_F(CheckerTest, AHealthyDeviceCheckReArmsTheDeviceScreenAlertAndMails) {
  settings.deviceThreshold = 1;
  settings.mailSendLimit = 1;
  settings.screenAlertEnabled = true;
  wmi.statuses = {{true, L"Error"}, {true, L"Error"}, {true, L"Error"}, {true, L"Error"},
                  {true, L"OK"}, {true, L"Error"}, {true, L"Error"}};
  // Crossings at cycles 2 and 4: alert and mail at the first only.
  EXPECT_EQ(CyclesLogging(4, msg::kScreenAlertDevice), (std::vector<int>{2}));
  EXPECT_EQ(runner.Runs(), 1);
  EXPECT_EQ(checker->DeviceState().alertShown, 1u);

  Cycle();  // OK ends the episode
  EXPECT_EQ(checker->DeviceState().alertShown, 0u);
  EXPECT_EQ(checker->DeviceState().mailCount, 0u);
  Cycle();
  EXPECT_EQ(Cycle(), (std::vector<std::wstring>{msg::kDeviceThresholdExceeded, msg::kScreenAlertDevice,
                                                MailSent()}));
  EXPECT_EQ(wmi.startedCommands.size(), 2u);
}

TEST_F(CheckerTest, FailedMailRepeatsLineAndMailEveryCycleButNotTheScreenAlert) {
  settings.pingThreshold = 2;
  settings.mailSendLimit = 1;
  settings.screenAlertEnabled = true;
  settings.servers = {Server(L"10.0.0.1")};
  runner.exitCodes = {1, 1, 1};
  Make();
  Cycle();
  Cycle();
  EXPECT_EQ(Cycle(), (std::vector<std::wstring>{msg::kPingThresholdExceeded,
                                                msg::kScreenAlertPing, MailFailed()}));
  EXPECT_EQ(Cycle(), (std::vector<std::wstring>{msg::kPingThresholdExceeded, MailFailed()}));
  // A success meanwhile does not clear the counter, but re-arms the screen alert.
  answers[L"10.0.0.1"] = true;
  EXPECT_EQ(Cycle(), (std::vector<std::wstring>{msg::kPingThresholdExceeded,
                                                msg::kScreenAlertPing, MailFailed()}));
  answers[L"10.0.0.1"] = false;
  EXPECT_EQ(Cycle(), (std::vector<std::wstring>{msg::kPingThresholdExceeded, MailSent()}));
  EXPECT_EQ(checker->PingState().errorCount, 0u);
  EXPECT_TRUE(Cycle().empty());
  EXPECT_EQ(runner.Runs(), 4);
  EXPECT_EQ(wmi.startedCommands.size(), 2u);
}

TEST_F(CheckerTest, FailedScreenAlertIsNotRetriedAndNotLogged) {
  settings.deviceThreshold = 1;
  settings.screenAlertEnabled = true;
  wmi.laterStatus = {true, L"Error"};
  // Two device checks that fail, then the screen alert cannot connect.
  wmi.connectResults = {true, true, false};
  Cycle();
  EXPECT_EQ(Cycle(), (std::vector<std::wstring>{msg::kDeviceThresholdExceeded}));
  EXPECT_EQ(checker->DeviceState().alertShown, 1u);
  Cycle();
  EXPECT_EQ(Cycle(), (std::vector<std::wstring>{msg::kDeviceThresholdExceeded}));
  EXPECT_EQ(wmi.Count(L"Connect"), 5);  // four device checks, one alert attempt
}

TEST_F(CheckerTest, MessageProgramThatDidNotStartIsNotLoggedAndNotRetried) {
  settings.pingThreshold = 1;
  settings.screenAlertEnabled = true;
  wmi.createReturnValue = L"9";  // msg.exe not found
  Make();
  Cycle();
  EXPECT_EQ(Cycle(), (std::vector<std::wstring>{msg::kPingThresholdExceeded}));
  Cycle();
  EXPECT_EQ(Cycle(), (std::vector<std::wstring>{msg::kPingThresholdExceeded}));
  EXPECT_EQ(wmi.startedCommands.size(), 1u);  // once per episode, started or not
}

TEST_F(CheckerTest, ScreenAlertSwitchedOffLeavesMailsAsConfigured) {
  settings.pingThreshold = 1;
  settings.deviceThreshold = 1;
  settings.mailSendLimit = 99;
  wmi.laterStatus = {true, L"Error"};
  std::vector<std::wstring> all;
  for (int i = 0; i < 4; ++i) {
    for (const std::wstring& line : Cycle()) all.push_back(line);
  }
  // Device before ping, in both crossings.
  const std::vector<std::wstring> crossing = {msg::kDeviceThresholdExceeded, MailSent(),
                                              msg::kPingThresholdExceeded, MailSent()};
  std::vector<std::wstring> expected = crossing;
  expected.insert(expected.end(), crossing.begin(), crossing.end());
  EXPECT_EQ(all, expected);
  EXPECT_TRUE(wmi.startedCommands.empty());
}

TEST_F(CheckerTest, ThresholdZeroSwitchesTheCheckOffEntirely) {
  settings.servers = {Server(L"10.0.0.1")};
  settings.screenAlertEnabled = true;
  settings.mailSendLimit = 99;
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(Cycle().empty());
  EXPECT_TRUE(pinged.empty());
  EXPECT_EQ(wmi.created, 0);
  EXPECT_EQ(runner.Runs(), 0);
}

TEST_F(CheckerTest, EmptyOrAllDisabledServerListCountsAnError) {
  settings.pingThreshold = 3;
  EXPECT_EQ(CyclesLogging(4, msg::kPingThresholdExceeded), (std::vector<int>{4}));

  settings.servers = {Server(L"127.0.0.1", false), Server(L"127.0.0.2", false)};
  answers[L"127.0.0.1"] = answers[L"127.0.0.2"] = true;
  checker.reset();
  EXPECT_EQ(CyclesLogging(4, msg::kPingThresholdExceeded), (std::vector<int>{4}));
  EXPECT_TRUE(pinged.empty());
}

TEST_F(CheckerTest, PingsInListOrderUntilTheFirstAnswerSkippingDisabled) {
  settings.pingThreshold = 1;
  settings.servers = {Server(L"10.0.0.1"), Server(L"10.0.0.2", false), Server(L"10.0.0.3"),
                      Server(L"10.0.0.4")};
  answers[L"10.0.0.2"] = answers[L"10.0.0.3"] = answers[L"10.0.0.4"] = true;
  Cycle();
  EXPECT_EQ(pinged, (std::vector<std::wstring>{L"10.0.0.1", L"10.0.0.3"}));
  EXPECT_EQ(checker->PingState().errorCount, 0u);
}

TEST_F(CheckerTest, AStopEndsThePingSweepBeforeTheNextServerAndStartsNoAlert) {
  settings.pingThreshold = 1;
  settings.deviceThreshold = 1;
  settings.mailSendLimit = 99;
  settings.screenAlertEnabled = true;
  settings.servers = {Server(L"10.0.0.1"), Server(L"10.0.0.2"), Server(L"10.0.0.3")};
  wmi.laterStatus = {true, L"Error"};
  Cycle();
  ASSERT_EQ(checker->PingState().errorCount, 1u);
  pinged.clear();

  // Both checks would cross now; the stop comes while 10.0.0.2 is pinged.
  std::stop_source stop;
  stopWhilePinging = {L"10.0.0.2", &stop};
  checker->RunCycle(stop.get_token());
  EXPECT_EQ(pinged, (std::vector<std::wstring>{L"10.0.0.1", L"10.0.0.2"}));
  EXPECT_EQ(checker->PingState().errorCount, 1u);    // the cut sweep counted nothing
  EXPECT_EQ(checker->DeviceState().errorCount, 2u);  // the finished device check did
  EXPECT_TRUE(TakeQueuedLogEntries().empty());
  EXPECT_EQ(runner.Runs(), 0);
  EXPECT_TRUE(wmi.startedCommands.empty());
}

}  // namespace
}  // namespace qv
