#include "ctl/status_files.h"

#include <gtest/gtest.h>

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

TEST(MailLog, TheLastFailureIsFound) {
  struct Case {
    const char* text;
    const wchar_t* reason;  // nullptr: none
  } const cases[] = {
      {"", nullptr},
      {"2026/12/08 10:00:00|sent|0|a@x||\n", nullptr},
      {"2026/12/08 10:00:00|failed|4|a@x|authentication refused|535 5.7.8 no\n"
       "2026/12/08 10:05:00|sent|0|a@x||\n",
       L"authentication refused"},
      {"2026/12/08 10:00:00|failed|3|a@x|cannot connect|\n"
       "2026/12/08 10:05:00|failed|6|a@x|time-out|\n"
       "garbage\n",
       L"time-out"},
  };
  for (const Case& c : cases) {
    const std::optional<MailLogEntry> failure = LastMailFailure(c.text);
    ASSERT_EQ(failure.has_value(), c.reason != nullptr) << c.text;
    if (failure) {
      EXPECT_EQ(failure->reason, c.reason);
    }
  }
}

}  // namespace
}  // namespace qv
