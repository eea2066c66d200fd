#include "wmi_connection.h"

namespace qv {
namespace {

class NoWmi final : public WmiConnection {
 public:
  bool Connect(QuorvanexServerInfo) override { return false; }
  bool QueryDeviceStatus(const std::wstring&, std::wstring&) override { return false; }
  bool StartProcess(const std::wstring&, const std::wstring&, std::wstring&) override { return false; }
  void Release() override {}
};

}  // namespace

std::unique_ptr<WmiConnection> CreateWmiConnection() { return std::make_unique<NoWmi>(); }

}  // namespace qv
