#include "pomvex/pomvex.h"

#include "pomvex/messages.h"

namespace qv::pomvex {

std::optional<BoxRequest> BoxFromArguments(const std::vector<std::wstring>& args) {
  if (args.size() <= 2) return std::nullopt;
  return BoxRequest{args[1], args[2]};
}

int RunProgram(const std::vector<std::wstring>& args, const Ports& ports) {
  // Start-up failures end the program before any argument is looked at.
  switch (ports.initialize()) {
    case PlatformInitResult::NoModuleHandle:
      ports.write(msg::kFatalNoModuleHandle);
      return 1;
    case PlatformInitResult::Ok:
      break;
  }
  std::optional<BoxRequest> box = BoxFromArguments(args);
  if (!box) return 0;
  // A box that never appeared must not look like one the user has read:
  // the exit code is all a caller gets back.
  return ports.showBox(*box) ? 0 : 1;
}

}  // namespace qv::pomvex
