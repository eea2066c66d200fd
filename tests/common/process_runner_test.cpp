#include "common/process_runner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "common/system.h"
#include "common/text_util.h"
#include "tests/support/process_probe.h"
#include "tests/support/test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
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

TEST(ProcessRunner, MissingProgramIsNotStarted) {
  TempDir dir;
  ProcessOutcome outcome = SystemProcessRunner().Run(Quoted(dir.File(L"absent.exe")) + L" x", 60s);
  EXPECT_FALSE(outcome.started);
  EXPECT_FALSE(outcome.timedOut);
  EXPECT_EQ(outcome.exitCode, 0xFFFFFFFFu);

  EXPECT_FALSE(SystemProcessRunner().Run(L"", 60s).started);
}

#ifndef _WIN32
TEST(ProcessRunner, ChildStartsWithNoSignalsHeldBack) {
  TempDir dir;
  const std::wstring program = test::InstallFakeMailer(dir.Path(), L"m.exe");
  // The service host holds SIGTERM back on its threads; a mailer must not
  // inherit that, or stopping it would take SIGKILL.
  sigset_t term, previous;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &term, &previous);
  ProcessOutcome outcome = SystemProcessRunner().Run(Quoted(program), 60s);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  EXPECT_TRUE(outcome.started);
  EXPECT_EQ(ReadMailerRecord(dir.Path())["blocked"], "0000000000000000");
}

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
#endif

}  // namespace
}  // namespace qv
