#include "ctl/status_files.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "common/format.h"
#include "common/system.h"
#include "common/text_util.h"

namespace qv {
namespace {

constexpr wchar_t kTimeFormat[] = L"%Y/%m/%d %H:%M:%S";

bool IsNameChar(char c, bool first) {
  const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
  return letter || (!first && c >= '0' && c <= '9');
}

std::string_view Name(std::string_view& rest) {
  std::size_t n = 0;
  while (n < rest.size() && IsNameChar(rest[n], n == 0)) ++n;
  const std::string_view name = rest.substr(0, n);
  rest.remove_prefix(n);
  return name;
}

void SkipBlanks(std::string_view& rest) {
  while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
}

// {name="value",...}; false when malformed.
bool Labels(std::string_view& rest, std::vector<std::pair<std::string, std::string>>& labels) {
  rest.remove_prefix(1);  // "{"
  for (;;) {
    SkipBlanks(rest);
    if (!rest.empty() && rest.front() == '}') {
      rest.remove_prefix(1);
      return true;
    }
    const std::string_view name = Name(rest);
    SkipBlanks(rest);
    if (name.empty() || rest.size() < 2 || rest[0] != '=' || rest[1] != '"') return false;
    rest.remove_prefix(2);
    std::string value;
    for (;;) {
      if (rest.empty()) return false;
      const char c = rest.front();
      rest.remove_prefix(1);
      if (c == '"') break;
      if (c == '\\' && !rest.empty()) {
        const char e = rest.front();
        rest.remove_prefix(1);
        value.push_back(e == 'n' ? '\n' : e);
      } else {
        value.push_back(c);
      }
    }
    labels.emplace_back(std::string(name), std::move(value));
    SkipBlanks(rest);
    if (!rest.empty() && rest.front() == ',') rest.remove_prefix(1);
  }
}

std::optional<double> Value(std::string_view text) {
  if (text == "+Inf") return HUGE_VAL;
  if (text == "-Inf") return -HUGE_VAL;
  if (text == "NaN") return std::nan("");
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::wstring Time(double seconds) { return FormatLocalTime(static_cast<std::int64_t>(seconds), kTimeFormat); }

std::int64_t Whole(double value) { return std::isfinite(value) ? std::llround(value) : 0; }

std::wstring CheckLine(const std::vector<MetricSampleRead>& s, const char* check, const wchar_t* title) {
  auto of = [&](std::string_view name) { return FindSample(s, name, {{"check", check}}); };
  auto result = [&](std::string_view name, std::string_view outcome) {
    return Whole(FindSample(s, name, {{"check", check}, {"result", outcome}}).value_or(0));
  };
  const std::optional<double> threshold = of("quorvanex_check_threshold");
  if (of("quorvanex_check_enabled").value_or(1) == 0) {
    return Format(L"%s: off (threshold 0)", title);
  }
  const std::optional<double> healthy = of("quorvanex_check_healthy");
  const std::optional<double> errors = of("quorvanex_check_consecutive_errors");
  return Format(L"%s: %s, %s failed in a row (threshold %s); on-screen alerts %d shown, %d failed; mails %d sent, "
                L"%d failed",
                title, !healthy ? L"not counted yet" : (*healthy != 0 ? L"healthy" : L"failing"),
                errors ? std::to_wstring(Whole(*errors)) : std::wstring(L"?"),
                threshold ? std::to_wstring(Whole(*threshold)) : std::wstring(L"?"),
                result("quorvanex_screen_alerts_total", "shown"), result("quorvanex_screen_alerts_total", "failed"),
                result("quorvanex_mails_total", "sent"), result("quorvanex_mails_total", "failed"));
}

std::vector<std::wstring> SplitFields(std::wstring_view line) {
  std::vector<std::wstring> fields;
  for (;;) {
    const std::size_t bar = line.find(L'|');
    fields.emplace_back(line.substr(0, bar));
    if (bar == std::wstring_view::npos) return fields;
    line.remove_prefix(bar + 1);
  }
}

}  // namespace

std::vector<MetricSampleRead> ParseMetricsText(std::string_view text) {
  std::vector<MetricSampleRead> samples;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view rest = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    SkipBlanks(rest);
    if (rest.empty() || rest.front() == '#') continue;
    MetricSampleRead sample;
    sample.name = Name(rest);
    if (sample.name.empty()) continue;
    if (!rest.empty() && rest.front() == '{' && !Labels(rest, sample.labels)) continue;
    SkipBlanks(rest);
    // A time stamp may follow the value.
    const std::optional<double> value = Value(rest.substr(0, rest.find_first_of(" \t\r")));
    if (!value) continue;
    sample.value = *value;
    samples.push_back(std::move(sample));
  }
  return samples;
}

std::optional<double> FindSample(const std::vector<MetricSampleRead>& samples, std::string_view name,
                                 const std::vector<std::pair<std::string_view, std::string_view>>& labels) {
  for (const MetricSampleRead& sample : samples) {
    if (sample.name != name) continue;
    bool all = true;
    for (const auto& [key, value] : labels) {
      bool found = false;
      for (const auto& [k, v] : sample.labels) found = found || (k == key && v == value);
      all = all && found;
    }
    if (all) return sample.value;
  }
  return std::nullopt;
}

std::vector<std::wstring> DescribeMetrics(const std::vector<MetricSampleRead>& s) {
  std::vector<std::wstring> lines;
  const std::optional<double> up = FindSample(s, "quorvanex_up");
  const std::optional<double> started = FindSample(s, "quorvanex_start_time_seconds");
  const std::int64_t cycles = Whole(FindSample(s, "quorvanex_cycles_total").value_or(0));
  if (!up) {
    lines.push_back(L"the metrics file holds no quorvanex_up: not written by the Monitor");
    return lines;
  }
  lines.push_back(Format(L"Monitor %s, started %s, check cycles: %d",
                         *up != 0 ? L"up" : L"stopped in order", started ? Time(*started) : L"?", cycles));
  if (const std::optional<double> last = FindSample(s, "quorvanex_last_cycle_timestamp_seconds")) {
    const std::optional<double> took = FindSample(s, "quorvanex_last_cycle_duration_seconds");
    lines.push_back(Format(L"last cycle: %s, took %s ms", Time(*last),
                           took ? std::to_wstring(Whole(*took * 1000)) : std::wstring(L"?")));
  } else {
    lines.push_back(L"last cycle: none yet");
  }
  lines.push_back(CheckLine(s, "device", L"device check"));
  lines.push_back(CheckLine(s, "ping", L"ping check"));
  std::wstring answers;
  for (const MetricSampleRead& sample : s) {
    if (sample.name != "quorvanex_ping_answered" || sample.labels.empty()) continue;
    if (!answers.empty()) answers += L", ";
    answers += Utf8ToWide(sample.labels.front().second) + (sample.value != 0 ? L" answered" : L" no answer");
  }
  if (!answers.empty()) lines.push_back(L"last ping sweep: " + answers);
  return lines;
}

std::optional<MailLogEntry> ParseMailLogLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  std::vector<std::wstring> f = SplitFields(Utf8ToWide(line));
  // The mail program blanks a "|" inside a field: six fields, always.
  if (f.size() != 6 || (f[1] != L"sent" && f[1] != L"failed")) return std::nullopt;
  return MailLogEntry{f[0], f[1] == L"sent", f[2], f[3], f[4], f[5]};
}

std::optional<MailLogEntry> LastMailFailure(std::string_view text) {
  std::optional<MailLogEntry> last;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (std::optional<MailLogEntry> entry = ParseMailLogLine(text.substr(0, end)); entry && !entry->sent) {
      last = std::move(entry);
    }
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return last;
}

}  // namespace qv
