// The Linux stand-in over a device tree of our own: the device table built
// from sysfs, and the device query evaluated as WQL against it.
#include <gtest/gtest.h>

#include <cwctype>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <utility>

#include "common/system.h"
#include "common/text_util.h"
#include "monitor/wmi/device_table_posix.h"
#include "monitor/wmi/wmi_connection_posix.h"
#include "monitor/wmi/wql.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using Attributes = std::initializer_list<std::pair<const char*, const char*>>;

// Two PCI devices (the first without a driver), a USB receiver without a
// serial number whose interface is bound, and a USB adapter with a serial
// and no driver.
class StandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    Device("pci", "0000:00:02.0", {{"vendor", "0x8086"}, {"device", "0x3e9b"}, {"subsystem_vendor", "0x1043"},
                                   {"subsystem_device", "0x8694"}, {"revision", "0x2"}});
    Bind(Device("pci", "0000:00:1f.6", {{"vendor", "0x8086"}, {"device", "0x15bc"}, {"subsystem_vendor", "0x1043"},
                                        {"subsystem_device", "0x8672"}, {"revision", "0x10"}, {"label", "LAN"}}));
    Device("usb", "1-1.2", {{"idVendor", "046d"}, {"idProduct", "c52b"}, {"product", "USB Receiver"}});
    Bind(Device("usb", "1-1.2:1.0", {}));
    Device("usb", "1-1.2:1.1", {});
    Device("usb", "2-1", {{"idVendor", "0bda"}, {"idProduct", "8153"}, {"serial", "000001"}});
    Device("usb", "2-1:1.0", {});
    Device("usb", "usb1", {});  // no identifiers: not a device row
  }

  fs::path Device(const char* bus, const char* name, Attributes attributes) {
    fs::path device = root / "bus" / bus / "devices" / name;
    fs::create_directories(device);
    for (const auto& [key, value] : attributes) std::ofstream(device / key) << value << "\n";
    return device;
  }
  void Bind(const fs::path& device) {
    fs::create_directories(root / "drivers" / "some");
    fs::create_directory_symlink(root / "drivers" / "some", device / "driver");
  }

  std::unique_ptr<WmiConnection> Connected() {
    auto wmi = CreateSysfsWmiConnection(dir.Path());
    QuorvanexServerInfo info;
    info.server = ComputerName();
    EXPECT_TRUE(wmi->Connect(info));
    return wmi;
  }

  // The device query as the check cycle makes it: the INI text with its
  // backslashes doubled.
  bool Query(const std::wstring& iniHardware, std::wstring& status) {
    auto wmi = Connected();
    bool found = wmi->QueryDeviceStatus(DoubleBackslashes(iniHardware), status);
    lastError = wmi->lastError;
    return found;
  }

  test::TempDir dir;
  fs::path root{WideToUtf8(dir.Path())};
  std::int32_t lastError = 0;
};

TEST_F(StandIn, BuildsWindowsDeviceIdsFromSysfs) {
  auto rows = ReadPnpEntities(dir.Path());
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].deviceId, L"PCI\\VEN_8086&DEV_3E9B&SUBSYS_86941043&REV_02\\0000:00:02.0");
  EXPECT_EQ(rows[0].status, L"Error");
  EXPECT_EQ(rows[1].deviceId, L"PCI\\VEN_8086&DEV_15BC&SUBSYS_86721043&REV_10\\0000:00:1F.6");
  EXPECT_EQ(rows[1].status, L"OK");
  EXPECT_EQ(rows[1].caption, L"LAN");
  EXPECT_EQ(rows[2].deviceId, L"USB\\VID_046D&PID_C52B\\1-1.2");  // no serial: the port path
  EXPECT_EQ(rows[2].status, L"OK");                               // one interface has a driver
  EXPECT_EQ(rows[2].caption, L"USB Receiver");
  EXPECT_EQ(rows[3].deviceId, L"USB\\VID_0BDA&PID_8153\\000001");
  EXPECT_EQ(rows[3].status, L"Error");
  EXPECT_TRUE(ReadPnpEntities(L"/nonexistent/qv-sysfs").empty());
}

TEST_F(StandIn, PrefixFindsTheDeviceAndItsStatus) {
  std::wstring status;
  EXPECT_TRUE(Query(L"usb\\vid_046d&pid_c52b", status));  // case does not matter
  EXPECT_EQ(status, L"OK");
  EXPECT_TRUE(Query(L"USB\\VID_0BDA", status));
  EXPECT_EQ(status, L"Error");
  EXPECT_TRUE(Query(L"PCI\\VEN_8086&DEV_15BC&SUBSYS_86721043&REV_10\\0000:00:1F.6", status));
  EXPECT_EQ(status, L"OK");
  EXPECT_TRUE(Query(L"PCI\\VEN_8086&DEV_15B_", status));  // _ is any one character
  EXPECT_EQ(status, L"OK");
}

TEST_F(StandIn, TheFirstMatchDecides) {
  std::wstring status;
  EXPECT_TRUE(Query(L"PCI\\VEN_8086", status));  // both match; the unbound one comes first
  EXPECT_EQ(status, L"Error");
  status.clear();
  EXPECT_TRUE(Query(L"", status));  // a lone % matches every device
  EXPECT_EQ(status, L"Error");
  EXPECT_TRUE(Query(L"USB", status));
  EXPECT_EQ(status, L"OK");
}

TEST_F(StandIn, NoMatchLeavesTheStatusAsItWas) {
  std::wstring status = L"kept";
  EXPECT_FALSE(Query(L"USB\\VID_046D&PID_C52C", status));
  EXPECT_FALSE(Query(L"PCI\\VEN_8086&DEV_15BC\\", status));  // the backslash is literal
  // An undoubled backslash escapes the next character and vanishes.
  auto wmi = Connected();
  EXPECT_FALSE(wmi->QueryDeviceStatus(L"USB\\VID_046D", status));
  EXPECT_EQ(wmi->lastError, 0);
  EXPECT_EQ(status, L"kept");
  EXPECT_FALSE(Query(L"USB'", status));
  EXPECT_EQ(lastError, kWbemInvalidQuery);
  EXPECT_EQ(status, L"kept");
}

TEST_F(StandIn, ConnectsOnlyToThisComputerWithoutCredentials) {
  auto wmi = CreateSysfsWmiConnection(dir.Path());
  QuorvanexServerInfo info;
  info.server = L"DEVSERVER01";
  EXPECT_FALSE(wmi->Connect(info));
  EXPECT_EQ(wmi->lastError, kRpcServerUnavailable);

  info.server = ComputerName();
  for (wchar_t& c : info.server) c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
  EXPECT_TRUE(wmi->Connect(info));

  info.username = L"admin";
  EXPECT_FALSE(wmi->Connect(info));
  EXPECT_EQ(wmi->lastError, kWbemLocalCredentials);
  std::wstring status;
  EXPECT_FALSE(wmi->QueryDeviceStatus(L"", status));  // the failed Connect dropped the old connection
  EXPECT_EQ(wmi->lastError, kComPointer);
}

}  // namespace
}  // namespace qv
