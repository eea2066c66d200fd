#pragma once
// The Monitor's log as quorvanexctl reads it: log.txt and the files rotated
// beside it (YYYYmmdd_HHMMSS_log.txt), code page 932 with CR LF.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// The complete lines of log bytes, decoded; a last line still without its
// line end is left out (the writer may be in the middle of it).
std::vector<std::wstring> DecodeLogLines(std::string_view bytes);

class LogTail {
 public:
  explicit LogTail(std::wstring logDirectory);

  // The last `count` lines written so far, oldest first, from the rotated
  // files as far back as needed. Next() goes on after them.
  std::vector<std::wstring> Last(std::size_t count);
  // The lines written since the last call, also when log.txt was rotated
  // meanwhile.
  std::vector<std::wstring> Next();

 private:
  // The rotated files' names in the Monitor's order, oldest first.
  std::vector<std::wstring> RotatedNames() const;
  std::vector<std::wstring> TakeNew(const std::wstring& path);

  std::wstring directory_;
  std::uint64_t offset_ = 0;  // bytes of log.txt already given
  std::wstring newestRotated_;
};

}  // namespace qv
