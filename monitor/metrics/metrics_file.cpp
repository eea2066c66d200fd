#include "monitor/metrics/metrics_file.h"

#include <utility>

#include "common/files.h"
#include "common/system.h"
#include "monitor/log/log_writer.h"
#include "monitor/messages.h"
#include "monitor/metrics/metrics_collector.h"
#include "monitor/settings.h"

namespace qv {

MetricsFile::MetricsFile(const std::wstring& directory, FileReplacer replace)
    : path_(JoinPath(directory, kMetricsFileName)),
      replace_(replace ? std::move(replace) : FileReplacer(ReplaceFileAtomically)) {}

bool MetricsFile::Write(std::string_view text) {
  const bool ok = replace_(path_, text);
  if (!ok && !failing_) WriteLog(msg::kMetricsWriteFailed, path_);
  failing_ = !ok;
  return ok;
}

std::unique_ptr<MetricsCollector> StartMetrics(const MonitorSettings& settings, std::int64_t startTime,
                                               FileReplacer replace) {
  if (settings.metricsDirectory.empty()) return nullptr;
  MetricsIdentity identity{ComputerName(), QV_VERSION, startTime};
  auto sink = [file = MetricsFile(settings.metricsDirectory, std::move(replace))](std::string_view text) mutable {
    file.Write(text);
  };
  auto metrics = std::make_unique<MetricsCollector>(settings, std::move(identity), std::move(sink));
  metrics->Publish(true);
  return metrics;
}

}  // namespace qv
