#pragma once
// Windows command lines: CommandLineToArgvW's splitting, and the quoting
// that makes an argument survive it.
#include <string>
#include <string_view>
#include <vector>

namespace qv {

std::vector<std::wstring> SplitCommandLine(std::wstring_view commandLine);

}  // namespace qv
