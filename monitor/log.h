#pragma once
// The Monitor's log: any thread queues a line; the writer thread appends the
// queue to log.txt every 500 ms (code page 932, CRLF), rotating and pruning.
#include <cstdint>
#include <string>
#include <vector>

#include "format.h"

namespace qv {

struct LogEntry {
  std::int32_t number = -1;  // negative: no number, shown as "-"
  std::wstring message;
  std::int64_t time = 0;     // seconds since 1970, taken when queued
};

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

// Takes every queued entry out of the queue (tests look at what was logged).
std::vector<LogEntry> TakeQueuedLogEntries();

}  // namespace qv
