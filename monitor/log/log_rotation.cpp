#include "monitor/log/log_rotation.h"

#include <algorithm>

#include "common/files.h"
#include "common/system.h"
#include "common/text_util.h"

namespace qv {
namespace {

constexpr wchar_t kRotationStampFormat[] = L"%Y%m%d_%H%M%S";

std::wstring RotatedSuffix() { return std::wstring(L"_") + kLogFileName; }

}  // namespace

void CSortStringArray::Sort() {
  // Stable, so equal names keep their order as the framework's bubble sort does.
  std::stable_sort(names_.begin(), names_.end(), [](const std::wstring& a, const std::wstring& b) {
    return CompareNoCase(a, b) < 0;
  });
}

void RotateLogFile(const std::wstring& directory, std::int64_t now) {
  const std::wstring rotated = FormatLocalTime(now, kRotationStampFormat) + RotatedSuffix();
  const bool moved = MoveFileNoReplace(JoinPath(directory, kLogFileName), JoinPath(directory, rotated));
  // With the clock set back the new name sorts before the old ones.
  PruneRotatedLogs(directory, moved ? rotated : std::wstring());
}

void PruneRotatedLogs(const std::wstring& directory, const std::wstring& spare) {
  CSortStringArray names;
  for (std::wstring& name : ListFilesEndingWith(directory, RotatedSuffix())) names.Add(std::move(name));
  if (names.size() <= kRotatedLogsKept) return;
  names.Sort();
  std::size_t excess = names.size() - kRotatedLogsKept;
  for (std::size_t i = 0; i < names.size() && excess > 0; ++i) {
    if (!spare.empty() && EqualsNoCase(names[i], spare)) continue;
    RemoveFile(JoinPath(directory, names[i]));
    --excess;
  }
}

}  // namespace qv
