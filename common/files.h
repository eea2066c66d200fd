#pragma once
// File operations with the Windows semantics the programs rely on.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

bool PathExists(const std::wstring& path);
bool IsDirectory(const std::wstring& path);
// One level, like CreateDirectoryW; false when it exists or cannot be made.
bool MakeDirectory(const std::wstring& path);
bool RemoveFile(const std::wstring& path);
// Fails when `to` exists (MoveFileW).
bool MoveFileNoReplace(const std::wstring& from, const std::wstring& to);
// CopyFileW(from, to, FALSE); `ownerOnly` restricts the copy to its owner
// where the platform has such modes (the copy may hold a password).
bool CopyFileReplace(const std::wstring& from, const std::wstring& to, bool ownerOnly = false);

// What one AppendToFile did.
struct AppendResult {
  bool opened = false;    // the file could be opened (made if missing)
  bool complete = false;  // every byte reached the file
  std::uint64_t sizeBefore = 0;
  std::uint64_t sizeAfter = 0;
};

// Opens `path` for writing (created if missing, never truncated, others may
// read and write it meanwhile), appends `bytes` at its end and closes it.
// After a failed or short write whatever part of `bytes` got in stays at the
// end; the caller may cut it off with TruncateFile(path, sizeBefore).
AppendResult AppendToFile(const std::wstring& path, std::string_view bytes);
// Cuts an existing regular file back to `size` bytes.
bool TruncateFile(const std::wstring& path, std::uint64_t size);

std::optional<std::string> ReadWholeFile(const std::wstring& path);

// Names (without directory) of the regular files in `directory` whose name
// ends with `suffix`, compared without case (the pattern "*" + suffix).
std::vector<std::wstring> ListFilesEndingWith(const std::wstring& directory, std::wstring_view suffix);

}  // namespace qv
