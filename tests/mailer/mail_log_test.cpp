#include "mailer/mail_log.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "common/system.h"
#include "common/text_util.h"
#include "tests/support/test_support.h"

namespace qv::mailer {
namespace {

constexpr std::int64_t kTime = 1796545360;  // 2026-12-06 08:22:40 UTC

TEST(MailLog, OneLinePerRunWithNoFieldBrokenByItsText) {
  const std::string stamp = WideToUtf8(FormatLocalTime(kTime, L"%Y/%m/%d %H:%M:%S"));
  EXPECT_EQ(FormatMailLogLine({kTime, 0, {L"a@x.test", L"b@y.test"}, "", "250 queued"}),
            stamp + "|sent|0|a@x.test,b@y.test||\n");
  EXPECT_EQ(FormatMailLogLine({kTime, 5, {L"n@x.test"}, "RCPT failed|550", "550 no | such\r\nmailbox"}),
            stamp + "|failed|5|n@x.test|RCPT failed 550|550 no   such  mailbox\n");
}

TEST(MailLog, PastOneMebibyteTheLogBecomesTheOneOlderFile) {
  const std::pair<std::uint64_t, bool> cases[] = {{kMailLogLimitBytes, false}, {kMailLogLimitBytes + 1, true}};
  for (const auto& [size, rotated] : cases) {
    test::TempDir dir;
    const std::wstring log = JoinPath(dir.Path(), L"log");
    const std::string old(size, 'x');
    ASSERT_TRUE(AppendMailLog(log, dir.Path(), old));
    test::WriteBytes(JoinPath(log, L"mail.log.1"), "older\n");
    ASSERT_TRUE(AppendMailLog(log, dir.Path(), "new\n"));
    EXPECT_EQ(test::ReadBytes(JoinPath(log, L"mail.log")), rotated ? "new\n" : old + "new\n");
    EXPECT_EQ(test::ReadBytes(JoinPath(log, L"mail.log.1")), rotated ? old : "older\n");
  }
}

}  // namespace
}  // namespace qv::mailer
