#pragma once
// Windows command lines, split into arguments as CommandLineToArgvW splits them.
#include <string>
#include <string_view>
#include <vector>

namespace qv {

std::vector<std::wstring> SplitCommandLine(std::wstring_view commandLine);

}  // namespace qv
