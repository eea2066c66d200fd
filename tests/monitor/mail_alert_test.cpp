#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "common/files.h"
#include "common/process_runner.h"
#include "common/profile.h"
#include "common/system.h"
#include "common/text_util.h"
#include "monitor/checks/checker.h"
#include "monitor/settings.h"
#include "tests/support/fake_process_runner.h"
#include "tests/support/process_probe.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using test::ReadMailerRecord;
using test::TempDir;

// "Hardware" as the Monitor keeps it: backslashes doubled.
const wchar_t kPattern[] = L"USB\\\\VID_1234&PID_5678";

class MailAlert : public testing::Test {
 protected:
  explicit MailAlert(const std::wstring& exeSubdirectory = L"") {
    exeDir = exeSubdirectory.empty() ? dir.Path() : dir.File(exeSubdirectory);
    std::filesystem::create_directories(std::filesystem::path(exeDir));
    settings.exeDirectory = exeDir;
    settings.hardwarePattern = kPattern;
    copy = JoinPath(exeDir, L"mail_12345.ini");
  }

  std::unique_ptr<Checker> MakeChecker(ProcessRunner& runner, std::chrono::milliseconds bound = kMailerWaitBound) {
    CheckerPorts ports;
    ports.processRunner = &runner;
    ports.mailerWaitBound = bound;
    return std::make_unique<Checker>(settings, std::move(ports));
  }

  void WriteMailIni(const std::string& config, const std::string& test = "") {
    std::string text = "[Config]\r\nServer=smtp.test\r\nPassword=p@ss;word\r\nMailSend=1\r\n" + config;
    if (!test.empty()) text += "[Test]\r\n" + test;
    test::WriteBytes(JoinPath(exeDir, L"mail.ini"), text);
  }

  std::wstring InstallMailer() { return test::InstallFakeMailer(exeDir, L"Ostrival.exe"); }

  std::wstring Seen(const wchar_t* section, const wchar_t* key) {
    return ProfileReader(JoinPath(exeDir, L"mailer_seen.ini")).GetString(section, key, L"(missing)");
  }

  TempDir dir;
  std::wstring exeDir;
  std::wstring copy;
  MonitorSettings settings;
};

TEST_F(MailAlert, CommandLineNamesTheMailerAndTheCopyWithTheBound) {
  test::FakeProcessRunner runner;
  bool copyExisted = false;
  runner.onRun = [&](const std::wstring&) { copyExisted = PathExists(copy); };
  WriteMailIni("");
  auto checker = MakeChecker(runner, 1234ms);
  EXPECT_TRUE(checker->SendAlertMail(CheckKind::Ping));
  ASSERT_EQ(runner.commandLines.size(), 1u);
  EXPECT_EQ(runner.commandLines[0], JoinPath(exeDir, L"Ostrival.exe") + L" \"" + copy + L"\"");
  EXPECT_EQ(runner.bounds[0], 1234ms);
  EXPECT_TRUE(copyExisted);
  EXPECT_FALSE(PathExists(copy));
  EXPECT_EQ(kMailerWaitBound, std::chrono::milliseconds(300000));
}

TEST_F(MailAlert, OnlyExitCodeZeroOfAFinishedMailerCountsAsSent) {
  test::FakeProcessRunner runner;
  auto checker = MakeChecker(runner);
  struct Row {
    bool started, timedOut;
    std::uint32_t code;
    bool sent;
  } rows[] = {{true, false, 0, true},
              {true, false, 1, false},
              {true, false, 0xFFFFFFFF, false},
              {true, true, 0, false},  // overran: whatever code it left
              {false, false, 0, false}};
  for (const Row& r : rows) {
    runner.outcome = ProcessOutcome{r.started, r.timedOut, r.code};
    EXPECT_EQ(checker->SendAlertMail(CheckKind::Device), r.sent) << r.started << r.timedOut << r.code;
    EXPECT_FALSE(PathExists(copy));
  }
}

TEST_F(MailAlert, PingBodyDefaultsAndOtherKeysReachTheMailerUnchanged) {
  InstallMailer();
  WriteMailIni("Body_device=device <name>\r\n");
  const std::string before = test::ReadBytes(JoinPath(exeDir, L"mail.ini"));
  ProcessRunner& runner = SystemProcessRunner();
  auto checker = MakeChecker(runner);

  EXPECT_TRUE(checker->SendAlertMail(CheckKind::Ping));
  auto record = ReadMailerRecord(exeDir);
  EXPECT_EQ(record["args"], "1");
  EXPECT_EQ(record["arg"], WideToUtf8(copy));
  EXPECT_EQ(record["body"], "ping error");
  EXPECT_EQ(Seen(L"Config", L"Server"), L"smtp.test");
  EXPECT_EQ(Seen(L"Config", L"Password"), L"p@ss;word");
  EXPECT_EQ(Seen(L"Config", L"Body_device"), L"device <name>");
  EXPECT_FALSE(PathExists(copy));
  // The body goes into the copy only.
  EXPECT_EQ(test::ReadBytes(JoinPath(exeDir, L"mail.ini")), before);
#ifndef _WIN32
  EXPECT_EQ(record["others_read"], "0") << "the copy holds the password";
#endif
}

TEST_F(MailAlert, BodiesPerKind) {
  InstallMailer();
  auto checker = MakeChecker(SystemProcessRunner());

  // Device: every <name>, matched with case, becomes the doubled pattern.
  WriteMailIni("Body_ping=ping <name> down\r\nBody_device=<name> lost; <NAME>; again <name>\r\n");
  EXPECT_TRUE(checker->SendAlertMail(CheckKind::Device));
  EXPECT_EQ(ReadMailerRecord(exeDir)["body"],
            "USB\\\\VID_1234&PID_5678 lost; <NAME>; again USB\\\\VID_1234&PID_5678");

  // Ping: the placeholder stays.
  EXPECT_TRUE(checker->SendAlertMail(CheckKind::Ping));
  EXPECT_EQ(ReadMailerRecord(exeDir)["body"], "ping <name> down");

  // Device without its key: the pattern alone.
  WriteMailIni("");
  EXPECT_TRUE(checker->SendAlertMail(CheckKind::Device));
  EXPECT_EQ(ReadMailerRecord(exeDir)["body"], "USB\\\\VID_1234&PID_5678");

  // A value of 1,100 characters is cut to 1,023.
  WriteMailIni("Body_ping=" + std::string(1100, 'x') + "\r\n");
  EXPECT_TRUE(checker->SendAlertMail(CheckKind::Ping));
  EXPECT_EQ(ReadMailerRecord(exeDir)["body"], std::string(1023, 'x'));
}

TEST_F(MailAlert, LeftoverCopyIsReplacedByAFreshCopy) {
  InstallMailer();
  WriteMailIni("Body_ping=now\r\n");
  test::WriteBytes(copy, "[Config]\r\nStale=1\r\nServer=old.host\r\nBody=old\r\n");
  auto checker = MakeChecker(SystemProcessRunner());
  EXPECT_TRUE(checker->SendAlertMail(CheckKind::Ping));
  EXPECT_EQ(ReadMailerRecord(exeDir)["body"], "now");
  EXPECT_EQ(Seen(L"Config", L"Stale"), L"(missing)");
  EXPECT_EQ(Seen(L"Config", L"Server"), L"smtp.test");
#ifndef _WIN32
  EXPECT_EQ(ReadMailerRecord(exeDir)["others_read"], "0");
#endif
  EXPECT_FALSE(PathExists(copy));
}

TEST_F(MailAlert, MissingMailIniStillStartsTheMailerWithTheBodyAlone) {
  InstallMailer();
  auto checker = MakeChecker(SystemProcessRunner());
  EXPECT_TRUE(checker->SendAlertMail(CheckKind::Ping));
  auto record = ReadMailerRecord(exeDir);
  EXPECT_EQ(record["exists"], "1");
  EXPECT_EQ(record["body"], "ping error");
  EXPECT_EQ(Seen(L"Config", L"Server"), L"(missing)");
  EXPECT_FALSE(PathExists(copy));
}

TEST_F(MailAlert, FailingMailerIsAFailureAndTheCopyIsGone) {
  InstallMailer();
  WriteMailIni("", "ExitCode=1\r\n");
  auto checker = MakeChecker(SystemProcessRunner());
  EXPECT_FALSE(checker->SendAlertMail(CheckKind::Ping));
  EXPECT_EQ(ReadMailerRecord(exeDir)["exists"], "1");
  EXPECT_FALSE(PathExists(copy));
}

TEST_F(MailAlert, NoMailerIsAFailureAtOnceAndTheCopyIsGone) {
  WriteMailIni("");
  auto checker = MakeChecker(SystemProcessRunner());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(checker->SendAlertMail(CheckKind::Device));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
  EXPECT_FALSE(PathExists(copy));
}

TEST_F(MailAlert, MailerPastTheBoundIsStoppedAndCountsAsFailure) {
  InstallMailer();
  WriteMailIni("", "SleepMs=60000\r\n");
  auto checker = MakeChecker(SystemProcessRunner(), 500ms);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(checker->SendAlertMail(CheckKind::Ping));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
  auto record = ReadMailerRecord(exeDir);
  ASSERT_FALSE(record["pid"].empty()) << "the mailer never ran";
  EXPECT_FALSE(test::ProcessAlive(static_cast<std::uint32_t>(std::stoul(record["pid"]))));
  EXPECT_FALSE(PathExists(copy));
}

class MailAlertInDirectoryWithBlank : public MailAlert {
 protected:
  MailAlertInDirectoryWithBlank() : MailAlert(L"Program Files") {}
};

TEST_F(MailAlertInDirectoryWithBlank, ProgramPathIsQuotedAndTheMailerRuns) {
  test::FakeProcessRunner recording;
  WriteMailIni("");
  EXPECT_TRUE(MakeChecker(recording)->SendAlertMail(CheckKind::Ping));
  ASSERT_EQ(recording.commandLines.size(), 1u);
  EXPECT_EQ(recording.commandLines[0], L"\"" + JoinPath(exeDir, L"Ostrival.exe") + L"\" \"" + copy + L"\"");

  InstallMailer();
  EXPECT_TRUE(MakeChecker(SystemProcessRunner())->SendAlertMail(CheckKind::Ping));
  EXPECT_EQ(ReadMailerRecord(exeDir)["arg"], WideToUtf8(copy));
}

}  // namespace
}  // namespace qv
