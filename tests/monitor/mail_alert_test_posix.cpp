// The mail copy where the account the service runs as may create files: the
// program directory. What it plants there is neither followed nor waited for;
// a copy the disk has no room for sends no mail.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "common/system.h"
#include "common/text_util.h"
#include "monitor/alerts/mail_alert.h"
#include "monitor/settings.h"
#include "tests/support/fake_process_runner.h"
#include "tests/support/file_size_limit_posix.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string N(const std::wstring& path) { return WideToUtf8(path); }

class MailAlertPosix : public testing::Test {
 protected:
  MailAlertPosix() { settings.exeDirectory = dir.Path(); }
  bool Send() { return SendMailThroughMailer(settings, 12345, CheckKind::Ping, runner, kMailerWaitBound); }

  test::TempDir dir;
  test::TempDir elsewhere;
  MonitorSettings settings;
  test::FakeProcessRunner runner;
};

TEST_F(MailAlertPosix, ADanglingLinkAtTheCopyNameIsRemovedNotFollowed) {
  test::WriteBytes(dir.File(L"mail.ini"), "[Config]\r\nPassword=secret\r\n");
  const std::wstring planted = elsewhere.File(L"new");
  ASSERT_EQ(symlink(N(planted).c_str(), N(dir.File(L"mail_12345.ini")).c_str()), 0);
  EXPECT_TRUE(Send());
  EXPECT_EQ(runner.Runs(), 1);
  EXPECT_FALSE(fs::exists(fs::path(N(planted))));
  EXPECT_FALSE(fs::exists(fs::symlink_status(fs::path(N(dir.File(L"mail_12345.ini"))))));
}

TEST_F(MailAlertPosix, AFifoInPlaceOfMailIniFailsTheMailWithoutWaiting) {
  ASSERT_EQ(mkfifo(N(dir.File(L"mail.ini")).c_str(), 0666), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Send());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_EQ(runner.Runs(), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(fs::path(N(dir.File(L"mail_12345.ini"))))));
}

TEST_F(MailAlertPosix, ACopyThatCannotTakeItsBodyFailsTheMailWithoutStartingTheMailer) {
  const std::string mailIni = "[Config]\r\nPassword=secret\r\n";
  test::WriteBytes(dir.File(L"mail.ini"), mailIni);
  {
    test::FileSizeLimit limit(mailIni.size());  // room for the copy, not for its body
    EXPECT_FALSE(Send());
  }
  EXPECT_EQ(runner.Runs(), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(fs::path(N(dir.File(L"mail_12345.ini"))))));
}

}  // namespace
}  // namespace qv
