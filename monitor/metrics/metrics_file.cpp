#include "monitor/metrics/metrics_file.h"

#include <utility>

#include "common/files.h"
#include "common/system.h"
#include "monitor/log/log_writer.h"
#include "monitor/messages.h"
#include "monitor/metrics/metrics_collector.h"
#include "monitor/settings.h"

namespace qv {

MetricsFile::MetricsFile(std::wstring directory, std::wstring programDirectory, FileReplacer replace)
    : directory_(std::move(directory)),
      programDirectory_(std::move(programDirectory)),
      path_(JoinPath(directory_, kMetricsFileName)),
      replace_(replace ? std::move(replace) : FileReplacer(ReplaceFileAtomically)) {}

bool MetricsFile::Write(std::string_view text) {
  if (held_ && !held_->IsAt(directory_)) held_.reset();
  if (!held_) {
    held_ = OpenExistingDirectory(directory_, programDirectory_);
    if (held_) RemoveStaleTemporaries(*held_, kMetricsFileName);
  }
  const bool ok = held_ && replace_(*held_, kMetricsFileName, text);
  if (!ok) held_.reset();
  if (!ok && !failing_) WriteLog(msg::kMetricsWriteFailed, path_);
  failing_ = !ok;
  return ok;
}

std::unique_ptr<MetricsCollector> StartMetrics(const MonitorSettings& settings, std::int64_t startTime,
                                               FileReplacer replace) {
  if (settings.metricsDirectory.empty()) return nullptr;
  MetricsIdentity identity{ComputerName(), QV_VERSION, startTime};
  auto file = std::make_shared<MetricsFile>(settings.metricsDirectory, settings.exeDirectory, std::move(replace));
  auto sink = [file](std::string_view text) { file->Write(text); };
  auto metrics = std::make_unique<MetricsCollector>(settings, std::move(identity), std::move(sink));
  metrics->Publish(true);
  return metrics;
}

}  // namespace qv
