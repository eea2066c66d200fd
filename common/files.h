#pragma once
// File operations with the Windows semantics the programs rely on.
#include <cstdint>
#include <memory>
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
[[nodiscard]] bool MoveFileNoReplace(const std::wstring& from, const std::wstring& to);
// CopyFileW(from, to, FALSE); `ownerOnly` restricts the copy to its owner
// where the platform has such modes (the copy may hold a password). Only a
// regular file is copied: a FIFO or device in place of `from` is refused, not
// waited for. On Linux the old `to` is removed first and the copy made as a
// new file, so a link planted at that name is never followed.
[[nodiscard]] bool CopyFileReplace(const std::wstring& from, const std::wstring& to, bool ownerOnly = false);
// Makes `path` as a new, empty file; false when anything (a link included)
// already has that name.
[[nodiscard]] bool CreateNewFile(const std::wstring& path, bool ownerOnly = false);

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
// Only a regular file is written: a link at `path` (a reparse point on
// Windows), a FIFO or a device is refused, and the open never waits.
// On Linux a file that root makes in a directory of another owner is given
// to that owner, so that the service account can go on writing it.
[[nodiscard]] AppendResult AppendToFile(const std::wstring& path, std::string_view bytes);
// Cuts an existing regular file back to `size` bytes.
bool TruncateFile(const std::wstring& path, std::uint64_t size);

// The content of a regular file; nothing for anything else (a FIFO is not waited for).
std::optional<std::string> ReadWholeFile(const std::wstring& path);
// Why `path` cannot be read as a regular file, in a few words ("no such
// file", "permission denied", "a directory", ...); empty when it can.
std::wstring UnreadableReason(const std::wstring& path);
// Size of the regular file at `path` itself (not through a link).
std::optional<std::uint64_t> RegularFileSize(const std::wstring& path);
// Renames `from` to `to`, replacing a file that has that name.
[[nodiscard]] bool MoveFileReplace(const std::wstring& from, const std::wstring& to);
// Takes the read-only attribute off a regular file (Windows: a read-only
// file cannot be written or deleted; Linux has no such attribute).
bool ClearReadOnly(const std::wstring& path);

// A directory held open while the files in it are worked on, so that it
// cannot be swapped for a link meanwhile. Path() names the held directory for
// the functions above (on Linux through /proc/self/fd).
class HeldDirectory {
 public:
  struct Handle;  // one per platform
  HeldDirectory(std::unique_ptr<Handle> handle, std::wstring path);
  HeldDirectory(HeldDirectory&&) noexcept;
  HeldDirectory& operator=(HeldDirectory&&) noexcept;
  ~HeldDirectory();

  const std::wstring& Path() const { return path_; }
  const Handle& Get() const { return *handle_; }
  // Whether `path` still leads to this directory; it may have been moved, or
  // removed and made anew, since it was opened.
  bool IsAt(const std::wstring& path) const;

 private:
  std::unique_ptr<Handle> handle_;
  std::wstring path_;
};

// Opens the directory `path`, first making the levels of it that are missing.
// A level that is a link (Windows: a reparse point) is followed only when the
// link belongs to the owner of `programDirectory` (on Linux also to root): an
// account that may only write below the program's directory cannot have
// planted it. Nothing when a level cannot be made or is refused.
std::optional<HeldDirectory> OpenDirectoryCreatingLevels(const std::wstring& path,
                                                         const std::wstring& programDirectory);
// The same for a directory that must exist already: no level is made.
std::optional<HeldDirectory> OpenExistingDirectory(const std::wstring& path, const std::wstring& programDirectory);
// The platform's part of both: `make` makes the missing levels.
std::optional<HeldDirectory> OpenDirectoryLevels(const std::wstring& path, const std::wstring& programDirectory,
                                                 bool make);

// Replaces the file `name` in `directory` by one holding `bytes` so that a
// reader finds either the old file or the new one, never a part, and two
// writers never mix their bytes. The bytes go to a new file that nothing may
// already occupy, named by NewTemporaryName, made
// in the held directory and never through a link; that file then takes the
// name. It is readable by everyone: it is meant for another program. On
// Windows a reader holding the file open delays the rename; it is tried for
// about 200 ms. Nothing is forced to the disk: after a power loss the file
// may be empty until it is written again. False when any step failed; the
// temporary file is gone.
[[nodiscard]] bool ReplaceFileAtomically(const HeldDirectory& directory, const std::wstring& name,
                                         std::string_view bytes);
// A new name for a temporary file of `name`: "." + name + "." and 16 hex
// digits from the system's random generator ("quorvanex.prom" gives
// ".quorvanex.prom.5c0e..."); no exporter takes it for a "*.prom" file, and
// nobody can foresee it. Empty when the generator fails.
std::wstring NewTemporaryName(const std::wstring& name);
// Whether `file` has the pattern of those names.
bool IsTemporaryName(std::wstring_view file, const std::wstring& name);
// Removes the temporary files of `name` that a writer killed in the middle of
// ReplaceFileAtomically left: only regular files of that name's pattern that
// the running account owns and that no write has touched for 10 minutes
// (another process may be writing right now).
void RemoveStaleTemporaries(const HeldDirectory& directory, const std::wstring& name);

// Names (without directory) of the regular files in `directory` whose name
// ends with `suffix`, compared without case (the pattern "*" + suffix).
std::vector<std::wstring> ListFilesEndingWith(const std::wstring& directory, std::wstring_view suffix);

}  // namespace qv
