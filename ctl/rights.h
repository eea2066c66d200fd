#pragma once
// Whether this process may do what the Configurator does: write its INI
// keys and restart the service. Asked before anything is changed.
#include <optional>
#include <string>
#include <vector>

namespace qv {

// quorvanexctl's exit code when the rights are missing.
inline constexpr int kExitNoRights = 4;

// Why `files` cannot be written by this process (Windows: not an elevated
// administrator, as the Configurator requires; Linux: no write access to a
// file, or to the directory of one that does not exist yet); nothing when
// they can.
std::optional<std::wstring> MissingWriteRights(const std::vector<std::wstring>& files);

// Why this process may not stop and start the service (Windows: not an
// elevated administrator; Linux: not root); nothing when it may.
std::optional<std::wstring> MissingServiceRights();

}  // namespace qv
