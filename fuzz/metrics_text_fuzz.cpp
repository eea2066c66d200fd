// Metrics text: any label value (a server's name comes from quorvanex.ini)
// is escaped so that it ends inside its quotes and reads back unchanged, and
// any sample value is written so that it reads back as the same number.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/metrics/prometheus_text.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// The label value as a reader of the text format finds it, from just after
// the opening quote; `end` is set after the closing quote.
std::string ReadLabelValue(std::string_view text, std::size_t& end) {
  std::string value;
  std::size_t i = 0;
  for (; i < text.size() && text[i] != '"'; ++i) {
    Require(text[i] != '\n');
    if (text[i] != '\\') {
      value += text[i];
      continue;
    }
    Require(++i < text.size());
    Require(text[i] == '\\' || text[i] == '"' || text[i] == 'n');
    value += text[i] == 'n' ? '\n' : text[i];
  }
  Require(i < text.size());
  end = i + 1;
  return value;
}

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
  Require(std::isnan(value) ? std::isnan(back) : back == value);

  std::vector<qv::MetricFamily> families;
  families.push_back({"x_total", qv::MetricType::Counter, "X.", {"server", "check"}, {{{label, "ping"}, value}}});
  std::string text;
  qv::RenderFamilies(families, text);
  const std::string_view head = "# HELP x_total X.\n# TYPE x_total counter\nx_total{server=\"";
  Require(text.compare(0, head.size(), head) == 0);
  std::size_t end = 0;
  Require(ReadLabelValue(std::string_view(text).substr(head.size()), end) == label);
  Require(text.substr(head.size() + end) == ",check=\"ping\"} " + sample + "\n");
  return 0;
}
