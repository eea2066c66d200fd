#pragma once
// What `quorvanexctl status` reads besides the service: the metrics file of
// the Monitor and the mail program's mail.log.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qv {

// One sample of a file in the Prometheus text format.
struct MetricSampleRead {
  std::string name;
  std::vector<std::pair<std::string, std::string>> labels;  // values unescaped
  double value = 0;
};

// The samples of `text`; comments and lines that are no sample are skipped.
std::vector<MetricSampleRead> ParseMetricsText(std::string_view text);

// The value of the first sample of `name` that carries all of `labels`.
std::optional<double> FindSample(const std::vector<MetricSampleRead>& samples, std::string_view name,
                                 const std::vector<std::pair<std::string_view, std::string_view>>& labels = {});

// What the metrics say, in lines for the operator (no line ends).
std::vector<std::wstring> DescribeMetrics(const std::vector<MetricSampleRead>& samples);

// One line of mail.log as Ostrival.exe writes it (mailer/mail_log.h).
struct MailLogEntry {
  std::wstring time;
  bool sent = false;
  std::wstring exitCode;
  std::wstring recipients;
  std::wstring reason;
  std::wstring reply;

  bool operator==(const MailLogEntry&) const = default;
};

std::optional<MailLogEntry> ParseMailLogLine(std::string_view line);
// The last failed mail of a mail.log text (UTF-8, LF).
std::optional<MailLogEntry> LastMailFailure(std::string_view text);

}  // namespace qv
