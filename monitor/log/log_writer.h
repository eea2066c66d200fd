#pragma once
// The Monitor's log: any thread queues a line; the writer thread appends the
// queue to log.txt every 500 ms (code page 932, CRLF), rotating and pruning.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/format.h"
#include "monitor/log/log_rotation.h"

namespace qv {

class Clock;

struct LogEntry {
  std::int32_t number = -1;  // negative: no number, shown as "-"
  std::wstring message;
  std::int64_t time = 0;     // seconds since 1970, taken when queued
};

inline constexpr std::size_t kLogEntriesPerPass = 100;
inline constexpr std::uint32_t kLogPassIntervalMs = 500;
// Lines whose file could not be opened wait for a later pass; beyond this many
// the oldest are dropped, so a directory that never appears cannot eat memory.
inline constexpr std::size_t kLogBacklogLimit = 10000;
// At stop a write that fails (a full disk, a locked file) is tried again this
// long, a pause apart, before the lines are given up.
inline constexpr std::uint32_t kFlushRetryMs = 5000;
inline constexpr std::uint32_t kFlushRetryPauseMs = 250;

// "stamp|number|message\n" with "-" for a negative number.
std::wstring FormatLogLine(const LogEntry& entry);
// The bytes a line takes in the file: code page 932, every "\n" as CR LF.
std::string EncodeLogText(std::wstring_view text);

// Queue, lock and writer thread of one log. The process has one (TheLog());
// tests make their own with a fake clock and a directory of their own.
class LogWriter {
 public:
  explicit LogWriter(Clock& clock);
  ~LogWriter();
  LogWriter(const LogWriter&) = delete;
  LogWriter& operator=(const LogWriter&) = delete;

  // Stamps `message` with the clock's time and appends it to the queue.
  void Queue(std::int32_t number, std::wstring message);

  // Sets the directory, then the running flag, then starts the thread unless
  // one exists; the thread sees `directory` from its first read on.
  void Start(std::wstring directory);
  // Clears the running flag and joins the thread (no time limit). Idempotent.
  void StopThread();
  // Writes everything still queued (and any backlog), retrying a failing
  // write for kFlushRetryMs; the thread must be stopped. Returns how many
  // lines were given up, those the backlog limit dropped included.
  std::size_t Flush();

  // One writer pass: up to 100 queued entries after the backlog, one file
  // open, rotation past 150 KiB. False when the lines could not be written
  // whole; they stay in the backlog. The first such pass says so on
  // standard error.
  bool RunPass();

  std::wstring Directory() const;
  void SetDirectory(std::wstring directory);
  std::wstring CurrentLogPath() const;
  bool IsRunning() const { return running_.load(); }
  std::size_t BacklogSize() const { return backlog_.size(); }
  std::vector<LogEntry> TakeQueued();

 private:
  void ThreadMain();
  bool WriteLines(const std::wstring& directory);

  Clock& clock_;
  // Whose links the log directory may be reached through.
  const std::wstring programDirectory_;
  mutable std::mutex lock_;  // the log lock: queue and directory only
  std::deque<LogEntry> queue_;
  std::wstring directory_;
  std::atomic<bool> running_{false};
  std::condition_variable wake_;
  std::unique_ptr<std::thread> thread_;
  // Formatted lines waiting for the file; touched only by the writer thread,
  // and by Flush after that thread has ended.
  std::deque<std::wstring> backlog_;
  bool unwritableReported_ = false;  // writer thread (then Flush) only
  std::size_t dropped_ = 0;  // lines the backlog limit dropped, not yet reported
};

// The process-wide log, on the system clock.
LogWriter& TheLog();

// Stamps `message` with the current time and appends it to the queue.
void QueueLogEntry(std::int32_t number, std::wstring message);

template <class... Args>
int WriteLogNumbered(std::int32_t number, std::type_identity_t<FormatString<Args...>> format,
                     const Args&... args) {
  QueueLogEntry(number, Format<Args...>(format, args...));
  return 0;
}

template <class... Args>
void WriteLog(std::type_identity_t<FormatString<Args...>> format, const Args&... args) {
  QueueLogEntry(-1, Format<Args...>(format, args...));
}

// Points the log at `directory` and starts the writer thread.
void StartLogWriter(const std::wstring& directory);
// Stops the writer thread, then FlushLog.
void StopLogWriter();
// Writes whatever the writer left in the queue; call after the thread ended.
// What it has to give up is reported once on standard error.
void FlushLog();

// Takes every queued entry out of the queue (tests look at what was logged).
std::vector<LogEntry> TakeQueuedLogEntries();

}  // namespace qv
