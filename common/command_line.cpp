#include "command_line.h"

namespace qv {

std::vector<std::wstring> SplitCommandLine(std::wstring_view) { return {}; }

}  // namespace qv
