#pragma once
// The metrics file for the textfile collectors of node_exporter and
// windows_exporter, replaced whole at every write.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace qv {

class MetricsCollector;
struct MonitorSettings;

inline constexpr wchar_t kMetricsFileName[] = L"quorvanex.prom";

// Replaces a file with new bytes; ReplaceFileAtomically in the Monitor.
using FileReplacer = std::function<bool(const std::wstring& path, std::string_view bytes)>;

class MetricsFile {
 public:
  // An empty `replace` takes ReplaceFileAtomically.
  explicit MetricsFile(const std::wstring& directory, FileReplacer replace = nullptr);

  // Replaces the file with `text`. A failure is logged when the write before
  // succeeded (or this is the first), so a lasting problem costs one line.
  bool Write(std::string_view text);
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
  FileReplacer replace_;
  bool failing_ = false;
};

// The collector whose every publication replaces the metrics file in
// `settings.metricsDirectory`, after it has written the file once for the
// start; none when that directory is empty (metrics off).
std::unique_ptr<MetricsCollector> StartMetrics(const MonitorSettings& settings, std::int64_t startTime,
                                               FileReplacer replace = nullptr);

}  // namespace qv
