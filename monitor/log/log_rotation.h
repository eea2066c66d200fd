#pragma once
// Rotation of the log: past 150 KiB log.txt is renamed after the time of the
// rotation, and only the 30 newest rotated files are kept.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace qv {

inline constexpr wchar_t kLogFileName[] = L"log.txt";
inline constexpr std::uint64_t kLogRotateBytes = 150 * 1024;  // a file of exactly this size stays
inline constexpr std::size_t kRotatedLogsKept = 30;

// File names in the order the framework's sorted string array gives them:
// ascending, compared without case, equal names kept in insertion order.
class CSortStringArray {
 public:
  CSortStringArray() = default;
  CSortStringArray(std::initializer_list<std::wstring> names) : names_(names) {}

  void Add(std::wstring name) { names_.push_back(std::move(name)); }
  void Sort();

  std::size_t size() const { return names_.size(); }
  const std::wstring& operator[](std::size_t i) const { return names_[i]; }
  auto begin() const { return names_.begin(); }
  auto end() const { return names_.end(); }
  friend bool operator==(const CSortStringArray&, const CSortStringArray&) = default;

 private:
  std::vector<std::wstring> names_;
};

// Moves <directory>/log.txt to <directory>/<YYYYmmdd_HHMMSS of now>_log.txt,
// then prunes, sparing the file it has just made. The move fails when a
// rotation in the same second already took the name; log.txt then grows until
// a later pass rotates it.
void RotateLogFile(const std::wstring& directory, std::int64_t now);
// Deletes the oldest "*_log.txt" files of `directory` beyond the newest 30;
// `spare` (a name) is never deleted, whatever its place in the order.
void PruneRotatedLogs(const std::wstring& directory, const std::wstring& spare = L"");

}  // namespace qv
