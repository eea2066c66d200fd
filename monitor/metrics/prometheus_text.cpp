#include "monitor/metrics/prometheus_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace qv {
namespace {

// Exactly representable integers print as such; beyond this they need not be.
constexpr double kLargestExactInteger = 9007199254740992.0;  // 2^53

std::string_view TypeName(MetricType type) { return type == MetricType::Counter ? "counter" : "gauge"; }

}  // namespace

void AppendEscapedLabelValue(std::string& out, std::string_view value) {
  for (char c : value) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
}

void AppendSampleValue(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::isinf(value)) {
    out += value > 0 ? "+Inf" : "-Inf";
    return;
  }
  char buffer[32];
  // to_chars: no locale, the same digits from every runtime.
  const std::to_chars_result done =
      value == std::floor(value) && std::fabs(value) <= kLargestExactInteger
          ? std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::int64_t>(value))
          : std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, done.ptr);
}

void RenderFamilies(std::vector<MetricFamily>& families, std::string& out) {
  out.clear();
  std::sort(families.begin(), families.end(),
            [](const MetricFamily& a, const MetricFamily& b) { return a.name < b.name; });
  for (MetricFamily& family : families) {
    if (family.samples.empty()) continue;
    std::sort(family.samples.begin(), family.samples.end(),
              [](const MetricSample& a, const MetricSample& b) { return a.labelValues < b.labelValues; });
    out.append("# HELP ").append(family.name).append(" ").append(family.help).append("\n");
    out.append("# TYPE ").append(family.name).append(" ").append(TypeName(family.type)).append("\n");
    for (const MetricSample& sample : family.samples) {
      out.append(family.name);
      const std::size_t labels = std::min(family.labelNames.size(), sample.labelValues.size());
      for (std::size_t i = 0; i < labels; ++i) {
        out += i == 0 ? '{' : ',';
        out.append(family.labelNames[i]).append("=\"");
        AppendEscapedLabelValue(out, sample.labelValues[i]);
        out += '"';
      }
      if (labels > 0) out += '}';
      out += ' ';
      AppendSampleValue(out, sample.value);
      out += '\n';
    }
  }
}

}  // namespace qv
