#include <algorithm>
#include <chrono>
#include <iterator>
#include <utility>

#include "common/clock.h"
#include "common/codec.h"
#include "common/files.h"
#include "common/system.h"
#include "common/text_util.h"
#include "monitor/log/log_writer.h"
#include "monitor/messages.h"

namespace qv {
namespace {

constexpr wchar_t kLineStampFormat[] = L"%Y/%m/%d %H:%M:%S";

}  // namespace

std::wstring FormatLogLine(const LogEntry& entry) {
  const std::wstring stamp = FormatLocalTime(entry.time, kLineStampFormat);
  if (entry.number >= 0) return Format(L"%s|%d|%s\n", stamp, entry.number, entry.message);
  return Format(L"%s|-|%s\n", stamp, entry.message);
}

std::string EncodeLogText(std::wstring_view text) {
  // Text mode: every line feed, also one inside a message, is stored as CR LF.
  std::wstring crlf(text);
  ReplaceAll(crlf, L"\n", L"\r\n");
  return EncodeCp932(crlf);
}

LogWriter::LogWriter(Clock& clock) : clock_(clock), programDirectory_(ExecutableDirectory()) {}

LogWriter::~LogWriter() { StopThread(); }

void LogWriter::Queue(std::int32_t number, std::wstring message) {
  LogEntry entry{number, std::move(message), clock_.Now()};
  std::lock_guard<std::mutex> hold(lock_);
  queue_.push_back(std::move(entry));
}

std::vector<LogEntry> LogWriter::TakeQueued() {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<LogEntry> out(std::make_move_iterator(queue_.begin()),
                            std::make_move_iterator(queue_.end()));
  queue_.clear();
  return out;
}

std::wstring LogWriter::Directory() const {
  std::lock_guard<std::mutex> hold(lock_);
  return directory_;
}

void LogWriter::SetDirectory(std::wstring directory) {
  std::lock_guard<std::mutex> hold(lock_);
  directory_ = std::move(directory);
}

std::wstring LogWriter::CurrentLogPath() const { return JoinPath(Directory(), kLogFileName); }

void LogWriter::Start(std::wstring directory) {
  SetDirectory(std::move(directory));
  running_.store(true);
  if (!thread_) thread_ = std::make_unique<std::thread>([this] { ThreadMain(); });
}

void LogWriter::StopThread() {
  {
    // Under the lock, so the writer cannot miss the wake-up between its test
    // of the flag and its wait.
    std::lock_guard<std::mutex> hold(lock_);
    running_.store(false);
  }
  wake_.notify_all();
  if (thread_) {
    if (thread_->joinable()) thread_->join();
    thread_.reset();
  }
}

void LogWriter::ThreadMain() {
  OpenDirectoryCreatingLevels(Directory(), programDirectory_);
  while (running_.load()) {
    RunPass();
    // The pause between passes ends early at stop; what is left goes to Flush.
    std::unique_lock<std::mutex> hold(lock_);
    wake_.wait_for(hold, std::chrono::milliseconds(kLogPassIntervalMs),
                   [this] { return !running_.load(); });
  }
}

bool LogWriter::RunPass() {
  std::vector<LogEntry> batch;
  std::wstring directory;
  {
    std::lock_guard<std::mutex> hold(lock_);
    directory = directory_;
    const std::size_t n = std::min(queue_.size(), kLogEntriesPerPass);
    batch.assign(std::make_move_iterator(queue_.begin()),
                 std::make_move_iterator(queue_.begin() + static_cast<std::ptrdiff_t>(n)));
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(n));
  }
  // Formatted outside the lock: producers never wait for the time conversion.
  for (const LogEntry& entry : batch) backlog_.push_back(FormatLogLine(entry));
  while (backlog_.size() > kLogBacklogLimit) {
    backlog_.pop_front();
    ++dropped_;
  }
  if (backlog_.empty()) return true;
  if (WriteLines(directory)) return true;
  if (!unwritableReported_) {
    // Said once: the log is where a reader would otherwise look for it.
    unwritableReported_ = true;
    ConsoleWriteError(Format(msg::kLogUnwritable, JoinPath(directory, kLogFileName)));
  }
  return false;
}

bool LogWriter::WriteLines(const std::wstring& directory) {
  std::string bytes;
  for (const std::wstring& line : backlog_) bytes += EncodeLogText(line);
  // Missing levels are made again (someone may have removed them while we
  // run); a link that the account we run as could have planted is refused.
  // Held open for the pass, the directory cannot be swapped meanwhile.
  const std::optional<HeldDirectory> held = OpenDirectoryCreatingLevels(directory, programDirectory_);
  if (!held) return false;  // kept in the backlog for the next pass
  const std::wstring path = JoinPath(held->Path(), kLogFileName);
  const AppendResult result = AppendToFile(path, bytes);
  if (!result.complete) {
    // A failed pass: no part of a line may stay, the whole backlog is
    // written again by the next pass that succeeds.
    if (result.sizeAfter > result.sizeBefore) TruncateFile(path, result.sizeBefore);
    return false;
  }
  backlog_.clear();
  if (result.sizeAfter > kLogRotateBytes) RotateLogFile(held->Path(), clock_.Now());
  return true;
}

std::size_t LogWriter::Flush() {
  std::uint32_t waitedMs = 0;
  for (;;) {
    bool queued;
    {
      std::lock_guard<std::mutex> hold(lock_);
      queued = !queue_.empty();
    }
    if (!queued && backlog_.empty()) break;
    if (RunPass()) continue;
    // A full disk or a locked file may be over in a moment.
    if (waitedMs >= kFlushRetryMs) break;
    clock_.SleepMs(kFlushRetryPauseMs);
    waitedMs += kFlushRetryPauseMs;
  }
  // Given up: what is still waiting, and what the backlog limit dropped.
  std::size_t lost = std::exchange(dropped_, 0) + backlog_.size();
  backlog_.clear();
  std::lock_guard<std::mutex> hold(lock_);
  lost += queue_.size();
  queue_.clear();
  return lost;
}

LogWriter& TheLog() {
  static LogWriter log(SystemClock());
  return log;
}

void QueueLogEntry(std::int32_t number, std::wstring message) {
  TheLog().Queue(number, std::move(message));
}

void StartLogWriter(const std::wstring& directory) { TheLog().Start(directory); }

void StopLogWriter() {
  TheLog().StopThread();
  FlushLog();
}

void FlushLog() {
  if (const std::size_t lost = TheLog().Flush()) {
    ConsoleWriteError(Format(msg::kLogLinesLost, lost, TheLog().CurrentLogPath()));
  }
}

std::vector<LogEntry> TakeQueuedLogEntries() { return TheLog().TakeQueued(); }

}  // namespace qv
