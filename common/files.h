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

// Opens `path` for writing (created if missing, never truncated, others may
// read and write it meanwhile), appends `bytes` at its end and closes it.
// Returns the file's length afterwards, or nothing when it could not be opened.
std::optional<std::uint64_t> AppendToFile(const std::wstring& path, std::string_view bytes);

std::optional<std::string> ReadWholeFile(const std::wstring& path);

// Replaces `path` by a file holding `bytes` so that a reader finds either the
// old file or the new one, never a part: the bytes go to `path` + ".tmp" in
// the same directory, which is then renamed over `path` (MoveFileExW with
// replace on Windows). The file is readable by everyone: it is meant for
// another program. On Windows a reader holding the file open delays the
// rename; it is tried for about 200 ms. Nothing is forced to the disk: after
// a power loss the file may be empty until it is written again. False when
// any step failed; the temporary file is gone.
bool ReplaceFileAtomically(const std::wstring& path, std::string_view bytes);

// Names (without directory) of the regular files in `directory` whose name
// ends with `suffix`, compared without case (the pattern "*" + suffix).
std::vector<std::wstring> ListFilesEndingWith(const std::wstring& directory, std::wstring_view suffix);

}  // namespace qv
