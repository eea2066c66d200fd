#include "ctl/status_files.h"

#include <gtest/gtest.h>

#include "mailer/mail_log.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

TEST(MetricsText, SamplesAreReadWithTheirLabels) {
  const std::vector<MetricSampleRead> samples = ParseMetricsText(
      "# HELP quorvanex_up 1 while the Monitor runs.\n"
      "# TYPE quorvanex_up gauge\n"
      "quorvanex_up 1\n"
      "quorvanex_ping_answered{server=\"a\\\"b\\\\c\"} 0\n"
      "quorvanex_mails_total{check=\"ping\",result=\"sent\"} 3 1733650000000\n"
      "quorvanex_x{check=\"ping\" 1\n"  // unfinished labels
      "quorvanex_y twelve\n"
      "quorvanex_last_cycle_duration_seconds 0.0125\r\n");
  ASSERT_EQ(samples.size(), 4u);
  EXPECT_EQ(samples[1].labels, (std::vector<std::pair<std::string, std::string>>{{"server", "a\"b\\c"}}));
  EXPECT_EQ(FindSample(samples, "quorvanex_up"), 1);
  EXPECT_EQ(FindSample(samples, "quorvanex_mails_total", {{"result", "sent"}}), 3);
  EXPECT_EQ(FindSample(samples, "quorvanex_mails_total", {{"result", "failed"}}), std::nullopt);
  EXPECT_EQ(FindSample(samples, "quorvanex_last_cycle_duration_seconds"), 0.0125);
}

TEST(MetricsText, StatusTellsEachCheckFromTheMonitorsFamilies) {
  test::SetTimeZone("UTC0");
  const std::vector<std::wstring> lines = DescribeMetrics(ParseMetricsText(
      "quorvanex_up 1\n"
      "quorvanex_start_time_seconds 1796000000\n"
      "quorvanex_cycles_total 12\n"
      "quorvanex_last_cycle_timestamp_seconds 1796000660\n"
      "quorvanex_last_cycle_duration_seconds 0.0125\n"
      "quorvanex_check_enabled{check=\"device\"} 0\n"
      "quorvanex_check_threshold{check=\"device\"} 0\n"
      "quorvanex_check_enabled{check=\"ping\"} 1\n"
      "quorvanex_check_threshold{check=\"ping\"} 5\n"
      "quorvanex_check_healthy{check=\"ping\"} 0\n"
      "quorvanex_check_consecutive_errors{check=\"ping\"} 2\n"
      "quorvanex_screen_alerts_total{check=\"ping\",result=\"shown\"} 1\n"
      "quorvanex_mails_total{check=\"ping\",result=\"failed\"} 4\n"
      "quorvanex_ping_answered{server=\"10.0.0.5\"} 0\n"));
  EXPECT_EQ(lines, (std::vector<std::wstring>{
                       L"Monitor up, started 2026/11/30 00:53:20, check cycles: 12",
                       L"last cycle: 2026/11/30 01:04:20, took 13 ms",
                       L"device check: off (threshold 0)",
                       L"ping check: failing, 2 failed in a row (threshold 5); on-screen alerts 1 shown, 0 failed; "
                       L"mails 0 sent, 4 failed",
                       L"last ping sweep: 10.0.0.5 no answer",
                   }));
}

// mail.log as the mail program writes it, one line per run.
std::string Written(std::initializer_list<mailer::MailRun> runs) {
  std::string text;
  for (const mailer::MailRun& run : runs) text += mailer::FormatMailLogLine(run);
  return text;
}

TEST(MailLog, TheLastFailureIsReadAsTheMailProgramWritesIt) {
  test::SetTimeZone("UTC0");
  const mailer::MailRun sent{1796000000, 0, {L"a@x", L"b@y"}, "", ""};
  const mailer::MailRun refused{1796000060, 4, {L"a@x", L"b@y"}, "authentication refused", "535 5.7.8 no|more\r\n"};
  const mailer::MailRun timedOut{1796000120, 6, {L"a@x"}, "time-out", ""};
  const mailer::MailRun unreadable{1796000180, 2, {}, "mail.ini cannot be read", ""};
  struct Case {
    std::string text;
    std::optional<MailLogEntry> failure;
  } const cases[] = {
      {"", std::nullopt},
      {Written({sent}), std::nullopt},
      {Written({refused, sent}),
       MailLogEntry{L"2026/11/30 00:54:20", false, L"4", L"a@x,b@y", L"authentication refused",
                    L"535 5.7.8 no more  "}},
      {Written({refused, timedOut}) + "half a li",
       MailLogEntry{L"2026/11/30 00:55:20", false, L"6", L"a@x", L"time-out", L""}},
      {Written({unreadable}), MailLogEntry{L"2026/11/30 00:56:20", false, L"2", L"", L"mail.ini cannot be read", L""}},
  };
  for (const Case& c : cases) EXPECT_EQ(LastMailFailure(c.text), c.failure) << c.text;
}

}  // namespace
}  // namespace qv
