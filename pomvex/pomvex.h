#pragma once
// Pomvex shows one warning box whose text and caption come from its command
// line. The decisions live here, portable; the box itself is a Windows call
// handed in by the program.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/system.h"

namespace qv::pomvex {

struct BoxRequest {
  std::wstring text;
  std::wstring caption;
};

// The box for a command line (program name first): argument 1 is the text,
// argument 2 the caption, the rest is ignored. Nothing when fewer than two
// arguments follow the program name. Texts are taken as they are; "\n"
// written as backslash and n stays two characters.
std::optional<BoxRequest> BoxFromArguments(const std::vector<std::wstring>& args);

struct Ports {
  std::function<PlatformInitResult()> initialize;
  // Shows the box and returns once it is closed; false when it could not be shown.
  std::function<bool(const BoxRequest&)> showBox;
  std::function<void(std::wstring_view)> write;
};

// The whole program: start-up, then the box. Returns the exit code.
int RunProgram(const std::vector<std::wstring>& args, const Ports& ports);

}  // namespace qv::pomvex
