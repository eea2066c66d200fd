#include "configurator/service_restart.h"

namespace qv {
namespace {

// There is no Service Control Manager here: nothing opens, so a restart
// reports failure without touching anything.
class NoServiceManager : public ServiceManager {
 public:
  Handle OpenManager() override { return 0; }
  Handle OpenNamedService(Handle, std::wstring_view) override { return 0; }
  std::optional<std::uint32_t> QueryState(Handle) override { return std::nullopt; }
  bool SendStop(Handle) override { return false; }
  bool StartWithoutArguments(Handle) override { return false; }
  void Close(Handle) override {}
};

}  // namespace

ServiceManager& SystemServiceManager() {
  static NoServiceManager manager;
  return manager;
}

}  // namespace qv
