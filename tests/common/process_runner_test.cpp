#include "process_runner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "process_probe.h"
#include "system.h"
#include "test_support.h"
#include "text_util.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace qv {
namespace {

using namespace std::chrono_literals;
using test::ReadMailerRecord;
using test::TempDir;

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

TEST(ProcessRunner, PassesOneQuotedArgumentAndReturnsTheExitCode) {
  TempDir dir;
  // Blanks in both the program path and the argument.
  const std::wstring program = test::InstallFakeMailer(dir.Path(), L"fake mailer.exe");
  const std::wstring ini = dir.File(L"with blank.ini");
  test::WriteBytes(ini, "[Config]\r\nBody=hello\r\n[Test]\r\nExitCode=7\r\n");

  ProcessOutcome outcome = SystemProcessRunner().Run(Quoted(program) + L" " + Quoted(ini), 60s);
  EXPECT_TRUE(outcome.started);
  EXPECT_FALSE(outcome.timedOut);
  EXPECT_EQ(outcome.exitCode, 7u);
  auto record = ReadMailerRecord(dir.Path());
  EXPECT_EQ(record["args"], "1");
  EXPECT_EQ(record["arg"], WideToUtf8(ini));
  EXPECT_EQ(record["body"], "hello");
}

TEST(ProcessRunner, ExitCodeZeroIsReported) {
  TempDir dir;
  const std::wstring program = test::InstallFakeMailer(dir.Path(), L"m.exe");
  ProcessOutcome outcome = SystemProcessRunner().Run(Quoted(program), 60s);
  EXPECT_TRUE(outcome.started);
  EXPECT_EQ(outcome.exitCode, 0u);
  EXPECT_EQ(ReadMailerRecord(dir.Path())["args"], "0");
}

TEST(ProcessRunner, MissingProgramIsNotStarted) {
  TempDir dir;
  ProcessOutcome outcome = SystemProcessRunner().Run(Quoted(dir.File(L"absent.exe")) + L" x", 60s);
  EXPECT_FALSE(outcome.started);
  EXPECT_FALSE(outcome.timedOut);
  EXPECT_EQ(outcome.exitCode, 0xFFFFFFFFu);

  EXPECT_FALSE(SystemProcessRunner().Run(L"", 60s).started);
}

TEST(ProcessRunner, OverrunningProgramIsTerminatedAndReaped) {
  TempDir dir;
  const std::wstring program = test::InstallFakeMailer(dir.Path(), L"m.exe");
  const std::wstring ini = dir.File(L"slow.ini");
  test::WriteBytes(ini, "[Test]\r\nSleepMs=60000\r\nExitCode=0\r\n");

  const auto start = std::chrono::steady_clock::now();
  ProcessOutcome outcome = SystemProcessRunner().Run(Quoted(program) + L" " + Quoted(ini), 500ms);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(outcome.started);
  EXPECT_TRUE(outcome.timedOut);
  // Generous: the bound is 0.5 s, the program would sleep a minute.
  EXPECT_LT(took, 30s);
  auto record = ReadMailerRecord(dir.Path());
  ASSERT_FALSE(record["pid"].empty()) << "the program never ran";
  EXPECT_FALSE(test::ProcessAlive(static_cast<std::uint32_t>(std::stoul(record["pid"]))));
}

#ifndef _WIN32
TEST(ProcessRunner, ChildGetsNoDescriptorsBeyondStdio) {
  TempDir dir;
  const std::wstring program = test::InstallFakeMailer(dir.Path(), L"m.exe");
  // A descriptor open without close-on-exec, as a careless library leaves one.
  const int leaked = open("/dev/null", O_RDONLY);
  ASSERT_GE(leaked, 3);
  ProcessOutcome outcome = SystemProcessRunner().Run(Quoted(program), 60s);
  close(leaked);
  EXPECT_TRUE(outcome.started);
  EXPECT_EQ(ReadMailerRecord(dir.Path())["fds"], "");
}

TEST(ProcessRunner, ProgramWithoutSlashIsFoundOnPath) {
  TempDir dir;
  test::InstallFakeMailer(dir.Path(), L"qv-fake-on-path");
  const char* old = std::getenv("PATH");
  const std::string saved = old ? old : "";
  const std::string path = WideToUtf8(dir.Path());
  setenv("PATH", (path + ":" + saved).c_str(), 1);
  ProcessOutcome outcome = SystemProcessRunner().Run(L"qv-fake-on-path a", 60s);
  setenv("PATH", saved.c_str(), 1);
  EXPECT_TRUE(outcome.started);
  EXPECT_EQ(ReadMailerRecord(dir.Path())["arg"], "a");
}
#endif

}  // namespace
}  // namespace qv
