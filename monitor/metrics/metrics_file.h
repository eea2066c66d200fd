#pragma once
// The metrics file for the textfile collectors of node_exporter and
// windows_exporter, replaced whole at every write.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/files.h"

namespace qv {

class MetricsCollector;
struct MonitorSettings;

inline constexpr wchar_t kMetricsFileName[] = L"quorvanex.prom";

// Replaces a file in a directory with new bytes; ReplaceFileAtomically in the Monitor.
using FileReplacer =
    std::function<bool(const HeldDirectory& directory, const std::wstring& name, std::string_view bytes)>;

class MetricsFile {
 public:
  // The file in `directory`, which must exist; its levels are checked as
  // the log directory's are, against the owner of `programDirectory`. An
  // empty `replace` takes ReplaceFileAtomically.
  MetricsFile(std::wstring directory, std::wstring programDirectory, FileReplacer replace = nullptr);

  // Replaces the file with `text`. A failure is logged when the write before
  // succeeded (or this is the first), so a lasting problem costs one line.
  bool Write(std::string_view text);
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring directory_;
  std::wstring programDirectory_;
  std::wstring path_;
  FileReplacer replace_;
  // Held from one write to the next; opened anew (and cleared of what a
  // killed writer left) when it was moved or a write failed.
  std::optional<HeldDirectory> held_;
  bool failing_ = false;
};

// The collector whose every publication replaces the metrics file in
// `settings.metricsDirectory`, after it has written the file once for the
// start; none when that directory is empty (metrics off).
std::unique_ptr<MetricsCollector> StartMetrics(const MonitorSettings& settings, std::int64_t startTime,
                                               FileReplacer replace = nullptr);

}  // namespace qv
