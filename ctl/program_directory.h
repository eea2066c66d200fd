#pragma once
// Where quorvanexctl finds the programs and their INI files.
#include <optional>
#include <string>

namespace qv {

// The directory of this program with every link resolved, so that a link
// such as /usr/sbin/quorvanexctl names the directory it points into. Empty
// when unknown.
std::wstring ProgramDirectory();

// `path` as a full path without a trailing separator or "." and ".." levels
// (links kept); nothing when it names no directory.
std::optional<std::wstring> FullDirectoryPath(const std::wstring& path);

}  // namespace qv
