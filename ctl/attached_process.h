#pragma once
// A program run in the foreground: on this console, with this program's
// standard input, output and error, waited for without a bound.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qv {

// Runs `program` with `args` in `directory`; its exit code, or nothing when
// it could not be started (`why` says why).
std::optional<std::uint32_t> RunAttached(const std::wstring& program, const std::vector<std::wstring>& args,
                                         const std::wstring& directory, std::wstring& why);

}  // namespace qv
