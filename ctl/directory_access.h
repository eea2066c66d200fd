#pragma once
// Whether the Monitor could make and write its log directory, judged without
// writing anything.
#include <optional>
#include <string>

namespace qv {

// Why `path` cannot be made (its missing levels) or written; nothing when it
// can. Linux: with this account's rights. Windows: only whether the path can
// exist (a level that is a file, a missing drive): the service runs as
// LocalSystem, whose rights the operator's account cannot stand in for.
std::optional<std::wstring> DirectoryWriteProblem(const std::wstring& path);

}  // namespace qv
