#pragma once
// The Prometheus text exposition format 0.0.4: each family with its HELP and
// TYPE lines, label values escaped, UTF-8, LF line ends.
#include <string>
#include <string_view>
#include <vector>

namespace qv {

enum class MetricType { Gauge, Counter };

struct MetricSample {
  std::vector<std::string> labelValues;  // UTF-8, one per label name of the family
  double value = 0;
};

struct MetricFamily {
  std::string_view name;
  MetricType type = MetricType::Gauge;
  std::string_view help;
  std::vector<std::string_view> labelNames;
  std::vector<MetricSample> samples;
};

// Backslash, double quote and line feed become \\, \" and \n.
void AppendEscapedLabelValue(std::string& out, std::string_view value);
// Whole numbers without a fraction or exponent, others in the shortest form
// that reads back the same.
void AppendSampleValue(std::string& out, double value);
// Replaces `out` with the families sorted by name, the samples of each sorted
// by their label values, so that the same state always gives the same bytes.
// A family without samples is left out.
void RenderFamilies(std::vector<MetricFamily>& families, std::string& out);

}  // namespace qv
