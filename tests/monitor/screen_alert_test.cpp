#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/system.h"
#include "monitor/checks/checker.h"
#include "monitor/settings.h"
#include "tests/support/fake_wmi.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

using test::TempDir;

const wchar_t kPattern[] = L"USB\\\\VID_1234&PID_5678";
// 2026-12-06 05:22:40 UTC, 14:22:40 in JST-9.
constexpr std::int64_t kEventTime = 1796534560;
const wchar_t kStamp[] = L"[2026/12/06 14:22:40]";

class ScreenAlert : public testing::Test {
 protected:
  ScreenAlert() {
    test::SetTimeZone("JST-9");
    settings.exeDirectory = dir.Path();
    settings.hardwarePattern = kPattern;
    CheckerPorts ports;
    ports.newWmiConnection = wmi.Connections();
    checker = std::make_unique<Checker>(settings, std::move(ports));
  }
  ~ScreenAlert() override { test::SetTimeZone("UTC0"); }

  void WriteMessageIni(const std::string& lines) {
    test::WriteBytes(dir.File(L"message.ini"), "[Config]\r\nPomvex=1\r\n" + lines);
  }

  // The command line of one alert.
  std::wstring Alert(CheckKind kind, std::int64_t when = kEventTime) {
    wmi.startedCommands.clear();
    EXPECT_TRUE(checker->ShowScreenAlert(kind, when));
    return wmi.startedCommands.empty() ? L"(none)" : wmi.startedCommands.back();
  }

  static std::wstring Expected(const std::wstring& message) {
    return L"msg.exe * /TIME:2147483647 \"" + message + L"\"";
  }

  TempDir dir;
  MonitorSettings settings;
  test::FakeWmi wmi;
  std::unique_ptr<Checker> checker;
};

TEST_F(ScreenAlert, FailedConnectionDoesNothingElse) {
  wmi.connects = false;
  EXPECT_FALSE(checker->ShowScreenAlert(CheckKind::Ping, kEventTime));
  EXPECT_EQ(wmi.calls, (std::vector<std::wstring>{L"Connect", L"Release"}));
}

TEST_F(ScreenAlert, ConnectsToThisComputerStartsOnceAndReleases) {
  EXPECT_TRUE(checker->ShowScreenAlert(CheckKind::Device, kEventTime));
  EXPECT_EQ(wmi.calls, (std::vector<std::wstring>{L"Connect", L"StartProcess", L"Release"}));
  EXPECT_EQ(wmi.connectedTo.server, ComputerName());
  EXPECT_TRUE(wmi.connectedTo.username.empty());  // credentials fail a local connection
  EXPECT_TRUE(wmi.connectedTo.password.empty());
  EXPECT_EQ(wmi.startDirectories, (std::vector<std::wstring>{L""}));
}

TEST_F(ScreenAlert, OnlyAStartedMessageProgramCountsAsShown) {
  wmi.createRuns = false;
  EXPECT_FALSE(checker->ShowScreenAlert(CheckKind::Ping, kEventTime));
  wmi.createRuns = true;
  wmi.createReturnValue = L"9";  // path not found
  EXPECT_FALSE(checker->ShowScreenAlert(CheckKind::Ping, kEventTime));
  wmi.createReturnValue = L"0";
  EXPECT_TRUE(checker->ShowScreenAlert(CheckKind::Ping, kEventTime));
}

TEST_F(ScreenAlert, DefaultsWhenMessageIniIsMissing) {
  EXPECT_EQ(Alert(CheckKind::Ping), Expected(std::wstring(kStamp) + L"ping error"));
  EXPECT_EQ(Alert(CheckKind::Device), Expected(std::wstring(kStamp) + L"USB\\\\VID_1234&PID_5678"));
}

TEST_F(ScreenAlert, KeyPresentButEmptyLeavesTheStampAlone) {
  WriteMessageIni("Body_ping=\r\nBody_device=\r\n");
  EXPECT_EQ(Alert(CheckKind::Ping), Expected(kStamp));
  EXPECT_EQ(Alert(CheckKind::Device), Expected(kStamp));
}

TEST_F(ScreenAlert, NameIsReplacedInTheDeviceBodyOnly) {
  WriteMessageIni("Body_ping=<name> unreachable\r\nBody_device=<name> is gone (<name>, <Name>)\r\n");
  EXPECT_EQ(Alert(CheckKind::Ping), Expected(std::wstring(kStamp) + L"<name> unreachable"));
  EXPECT_EQ(Alert(CheckKind::Device), Expected(std::wstring(kStamp) +
                                   L"USB\\\\VID_1234&PID_5678 is gone (USB\\\\VID_1234&PID_5678, <Name>)"));
}

TEST_F(ScreenAlert, LongBodyIsCutTo1023Characters) {
  WriteMessageIni("Body_ping=" + std::string(1100, 'p') + "\r\n");
  EXPECT_EQ(Alert(CheckKind::Ping), Expected(std::wstring(kStamp) + std::wstring(1023, L'p')));
}

TEST_F(ScreenAlert, QuoteInTheBodyIsNotEscaped) {
  WriteMessageIni("Body_ping=say \"hi\" now\r\n");
  EXPECT_EQ(Alert(CheckKind::Ping), Expected(std::wstring(kStamp) + L"say \"hi\" now"));
}

TEST_F(ScreenAlert, MessageIniIsReadAnewAtEveryAlert) {
  WriteMessageIni("Body_ping=first\r\n");
  EXPECT_EQ(Alert(CheckKind::Ping), Expected(std::wstring(kStamp) + L"first"));
  WriteMessageIni("Body_ping=second\r\n");
  EXPECT_EQ(Alert(CheckKind::Ping), Expected(std::wstring(kStamp) + L"second"));
}

TEST_F(ScreenAlert, StampIsLocalTimeAtTheTurnOfTheYear) {
  // 2026-12-31 14:59:59 UTC is the last second of the year in JST.
  EXPECT_EQ(Alert(CheckKind::Ping, 1798729199), Expected(L"[2026/12/31 23:59:59]ping error"));
  test::SetTimeZone("UTC0");
  EXPECT_EQ(Alert(CheckKind::Ping, 1798729199), Expected(L"[2026/12/31 14:59:59]ping error"));
}

}  // namespace
}  // namespace qv
