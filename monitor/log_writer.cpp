#include <deque>
#include <mutex>

#include "log.h"
#include "system.h"

namespace qv {
namespace {

std::mutex& LogLock() {
  static std::mutex lock;
  return lock;
}

std::deque<LogEntry>& LogQueue() {
  static std::deque<LogEntry> queue;
  return queue;
}

}  // namespace

void QueueLogEntry(std::int32_t number, std::wstring message) {
  LogEntry entry{number, std::move(message), NowSeconds()};
  std::lock_guard<std::mutex> hold(LogLock());
  LogQueue().push_back(std::move(entry));
}

std::vector<LogEntry> TakeQueuedLogEntries() {
  std::lock_guard<std::mutex> hold(LogLock());
  std::vector<LogEntry> out(std::make_move_iterator(LogQueue().begin()),
                            std::make_move_iterator(LogQueue().end()));
  LogQueue().clear();
  return out;
}

}  // namespace qv
