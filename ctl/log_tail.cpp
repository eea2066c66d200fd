#include "ctl/log_tail.h"

#include <algorithm>
#include <optional>

#include "common/codec.h"
#include "common/files.h"
#include "common/system.h"
#include "common/text_util.h"
#include "monitor/log/log_rotation.h"

namespace qv {
namespace {

// Up to and with the last line feed. No trail byte of code page 932 is a
// line feed, so a cut there never splits a character.
std::string_view CompleteLines(std::string_view bytes) {
  const std::size_t end = bytes.rfind('\n');
  return end == std::string_view::npos ? std::string_view() : bytes.substr(0, end + 1);
}

}  // namespace

std::vector<std::wstring> DecodeLogLines(std::string_view bytes) {
  std::vector<std::wstring> lines;
  std::string_view rest = CompleteLines(bytes);
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(DecodeCp932(line));
    rest.remove_prefix(end + 1);
  }
  return lines;
}

LogTail::LogTail(std::wstring logDirectory) : directory_(std::move(logDirectory)) {}

std::vector<std::wstring> LogTail::RotatedNames() const {
  CSortStringArray sorted;
  for (std::wstring& name : ListFilesEndingWith(directory_, std::wstring(L"_") + kLogFileName)) {
    sorted.Add(std::move(name));
  }
  sorted.Sort();
  return std::vector<std::wstring>(sorted.begin(), sorted.end());
}

std::vector<std::wstring> LogTail::Last(std::size_t count) {
  const std::vector<std::wstring> rotated = RotatedNames();
  newestRotated_ = rotated.empty() ? std::wstring() : rotated.back();
  offset_ = 0;
  std::vector<std::wstring> lines = TakeNew(JoinPath(directory_, kLogFileName));
  for (auto name = rotated.rbegin(); name != rotated.rend() && lines.size() < count; ++name) {
    const std::optional<std::string> bytes = ReadWholeFile(JoinPath(directory_, *name));
    if (!bytes) continue;
    std::vector<std::wstring> older = DecodeLogLines(*bytes);
    lines.insert(lines.begin(), older.begin(), older.end());
  }
  if (lines.size() > count) lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(count));
  return lines;
}

std::vector<std::wstring> LogTail::Next() {
  std::vector<std::wstring> lines;
  const std::vector<std::wstring> rotated = RotatedNames();
  if (!rotated.empty() && !EqualsNoCase(rotated.back(), newestRotated_)) {
    // The file followed so far now bears this name: its rest comes first.
    newestRotated_ = rotated.back();
    lines = TakeNew(JoinPath(directory_, newestRotated_));
    offset_ = 0;
  }
  std::vector<std::wstring> current = TakeNew(JoinPath(directory_, kLogFileName));
  lines.insert(lines.end(), current.begin(), current.end());
  return lines;
}

std::vector<std::wstring> LogTail::TakeNew(const std::wstring& path) {
  const std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) return {};
  // Shorter than what was read of it: another file took its name.
  if (bytes->size() < offset_) offset_ = 0;
  const std::string_view fresh = CompleteLines(std::string_view(*bytes).substr(offset_));
  offset_ += fresh.size();
  return DecodeLogLines(fresh);
}

}  // namespace qv
