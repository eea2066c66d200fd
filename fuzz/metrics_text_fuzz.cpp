// Metrics text: any label value (a server's name comes from quorvanex.ini)
// is escaped so that quorvanexctl's reader takes it back unchanged, and any
// sample value is written so that it reads back as the same number.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "ctl/status_files.h"
#include "monitor/metrics/prometheus_text.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

bool Same(double a, double b) { return std::isnan(a) ? std::isnan(b) : a == b; }

}  // namespace

// Input: 8 bytes of a sample value, then the label value.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  double value = 0;
  if (size >= sizeof value) {
    std::memcpy(&value, data, sizeof value);
    data += sizeof value;
    size -= sizeof value;
  }
  const std::string label(reinterpret_cast<const char*>(data), size);

  std::string sample;
  qv::AppendSampleValue(sample, value);
  Require(!sample.empty() && sample.find_first_of(" \n") == std::string::npos);
  char* parsed = nullptr;
  const double back = std::strtod(sample.c_str(), &parsed);
  Require(parsed == sample.c_str() + sample.size());
  Require(Same(back, value));

  std::vector<qv::MetricFamily> families;
  families.push_back({"x_total", qv::MetricType::Counter, "X.", {"server", "check"}, {{{label, "ping"}, value}}});
  std::string text;
  qv::RenderFamilies(families, text);
  const std::vector<qv::MetricSampleRead> read = qv::ParseMetricsText(text);
  Require(read.size() == 1 && read[0].name == "x_total" && Same(read[0].value, value));
  const std::vector<std::pair<std::string, std::string>> labels{{"server", label}, {"check", "ping"}};
  Require(read[0].labels == labels);
  return 0;
}
