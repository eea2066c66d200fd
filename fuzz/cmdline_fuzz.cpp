// Windows command-line splitter: any text splits without a crash or a hang,
// and no argument can be longer than the line it came from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/command_line.h"
#include "common/text_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::wstring line = qv::Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
  std::vector<std::wstring> args = qv::SplitCommandLine(line);
  std::size_t total = 0;
  for (const std::wstring& arg : args) total += arg.size();
  if (total > line.size()) std::abort();
  if (args.size() > line.size() + 1) std::abort();
  return 0;
}
