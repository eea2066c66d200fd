// The Linux stand-in over a device tree of our own: the device table built
// from sysfs, and the device query evaluated as WQL against it.
#include <gtest/gtest.h>

#include <filesystem>
#include <cwctype>
#include <fstream>

#include "device_table_posix.h"
#include "system.h"
#include "test_support.h"
#include "text_util.h"
#include "wmi_connection.h"
#include "wql.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

class FakeSysfs {
 public:
  FakeSysfs() : root_(WideToUtf8(dir_.Path())) {
    fs::create_directories(root_ / "bus/pci/devices");
    fs::create_directories(root_ / "bus/usb/devices");
    fs::create_directories(root_ / "bus/pci/drivers/e1000e");
    fs::create_directories(root_ / "bus/usb/drivers/usbhid");
  }
  const fs::path& Root() const { return root_; }
  std::wstring RootText() const { return dir_.Path(); }

  fs::path Device(const char* bus, const std::string& name) {
    fs::path d = root_ / "bus" / bus / "devices" / name;
    fs::create_directories(d);
    return d;
  }
  static void Attr(const fs::path& dir, const char* name, const std::string& value) {
    std::ofstream(dir / name) << value << "\n";
  }
  void Bind(const fs::path& dir, const char* driver) {
    fs::create_directory_symlink(root_ / "bus" / (dir.parent_path().parent_path().filename()) / "drivers" / driver,
                                 dir / "driver");
  }

 private:
  test::TempDir dir_;
  fs::path root_;
};

// Two PCI devices (the first without a driver), a bound USB receiver without
// a serial number, and a USB network adapter with a serial and no driver.
class StandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    auto unbound = sysfs.Device("pci", "0000:00:02.0");
    FakeSysfs::Attr(unbound, "vendor", "0x8086");
    FakeSysfs::Attr(unbound, "device", "0x3e9b");
    FakeSysfs::Attr(unbound, "subsystem_vendor", "0x1043");
    FakeSysfs::Attr(unbound, "subsystem_device", "0x8694");
    FakeSysfs::Attr(unbound, "revision", "0x2");

    auto nic = sysfs.Device("pci", "0000:00:1f.6");
    FakeSysfs::Attr(nic, "vendor", "0x8086");
    FakeSysfs::Attr(nic, "device", "0x15bc");
    FakeSysfs::Attr(nic, "subsystem_vendor", "0x1043");
    FakeSysfs::Attr(nic, "subsystem_device", "0x8672");
    FakeSysfs::Attr(nic, "revision", "0x10");
    FakeSysfs::Attr(nic, "label", "Onboard LAN");
    sysfs.Bind(nic, "e1000e");

    auto receiver = sysfs.Device("usb", "1-1.2");
    FakeSysfs::Attr(receiver, "idVendor", "046d");
    FakeSysfs::Attr(receiver, "idProduct", "c52b");
    FakeSysfs::Attr(receiver, "product", "USB Receiver");
    sysfs.Bind(sysfs.Device("usb", "1-1.2:1.0"), "usbhid");
    sysfs.Device("usb", "1-1.2:1.1");  // a second interface, unbound

    auto adapter = sysfs.Device("usb", "2-1");
    FakeSysfs::Attr(adapter, "idVendor", "0bda");
    FakeSysfs::Attr(adapter, "idProduct", "8153");
    FakeSysfs::Attr(adapter, "serial", "000001");
    sysfs.Device("usb", "2-1:1.0");

    sysfs.Device("usb", "usb1");  // no identifiers: not a device row
  }

  std::unique_ptr<WmiConnection> Connected() {
    auto wmi = CreateSysfsWmiConnection(sysfs.RootText());
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

  FakeSysfs sysfs;
  std::int32_t lastError = 0;
};

TEST_F(StandIn, BuildsWindowsDeviceIdsFromSysfs) {
  auto rows = ReadPnpEntities(sysfs.RootText());
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].deviceId, L"PCI\\VEN_8086&DEV_3E9B&SUBSYS_86941043&REV_02\\0000:00:02.0");
  EXPECT_EQ(rows[0].status, L"Error");
  EXPECT_EQ(rows[1].deviceId, L"PCI\\VEN_8086&DEV_15BC&SUBSYS_86721043&REV_10\\0000:00:1F.6");
  EXPECT_EQ(rows[1].status, L"OK");
  EXPECT_EQ(rows[1].caption, L"Onboard LAN");
  EXPECT_EQ(rows[2].deviceId, L"USB\\VID_046D&PID_C52B\\1-1.2");  // no serial: the port path
  EXPECT_EQ(rows[2].status, L"OK");                               // one interface has a driver
  EXPECT_EQ(rows[2].caption, L"USB Receiver");
  EXPECT_EQ(rows[3].deviceId, L"USB\\VID_0BDA&PID_8153\\000001");
  EXPECT_EQ(rows[3].status, L"Error");
  EXPECT_EQ(rows[3].caption, L"");
}

TEST_F(StandIn, AMissingTreeHasNoDevices) {
  EXPECT_TRUE(ReadPnpEntities(L"/nonexistent/qv-sysfs").empty());
}

TEST_F(StandIn, PrefixFindsTheDeviceAndItsStatus) {
  std::wstring status;
  EXPECT_TRUE(Query(L"USB\\VID_046D&PID_C52B", status));
  EXPECT_EQ(status, L"OK");
  EXPECT_TRUE(Query(L"usb\\vid_0bda", status));  // case does not matter
  EXPECT_EQ(status, L"Error");
  EXPECT_TRUE(Query(L"PCI\\VEN_8086&DEV_15BC&SUBSYS_86721043&REV_10\\0000:00:1F.6", status));
  EXPECT_EQ(status, L"OK");
  EXPECT_TRUE(Query(L"PCI\\VEN_8086&DEV_15B_", status));  // _ is any one character
  EXPECT_EQ(status, L"OK");
  EXPECT_TRUE(Query(L"USB\\VID_[0=9]BDA", status));
  EXPECT_EQ(status, L"Error");
}

TEST_F(StandIn, TheFirstMatchDecides) {
  std::wstring status;
  // Both PCI devices match; the unbound one comes first.
  EXPECT_TRUE(Query(L"PCI\\VEN_8086", status));
  EXPECT_EQ(status, L"Error");
  // An empty prefix is a lone % and matches every device.
  status.clear();
  EXPECT_TRUE(Query(L"", status));
  EXPECT_EQ(status, L"Error");
  EXPECT_TRUE(Query(L"USB", status));
  EXPECT_EQ(status, L"OK");
}

TEST_F(StandIn, NoMatchLeavesTheStatusAsItWas) {
  std::wstring status = L"kept";
  EXPECT_FALSE(Query(L"USB\\VID_046D&PID_C52C", status));
  EXPECT_FALSE(Query(L"PCI\\VEN_8086&DEV_15BC\\", status));  // the backslash is literal
  EXPECT_FALSE(Query(L"HID\\", status));
  // An undoubled backslash escapes the next character and vanishes.
  auto wmi = Connected();
  EXPECT_FALSE(wmi->QueryDeviceStatus(L"USB\\VID_046D", status));
  EXPECT_EQ(wmi->lastError, 0);
  EXPECT_EQ(status, L"kept");
  EXPECT_EQ(lastError, 0);
}

TEST_F(StandIn, AQuoteInThePrefixIsAnInvalidQuery) {
  std::wstring status = L"kept";
  EXPECT_FALSE(Query(L"USB'", status));
  EXPECT_EQ(lastError, kWbemInvalidQuery);
  EXPECT_EQ(status, L"kept");
}

TEST_F(StandIn, ConnectsOnlyToThisComputerWithoutCredentials) {
  auto wmi = CreateSysfsWmiConnection(sysfs.RootText());
  QuorvanexServerInfo info;
  info.server = L"DEVSERVER01";
  EXPECT_FALSE(wmi->Connect(info));
  EXPECT_EQ(wmi->lastError, kRpcServerUnavailable);

  std::wstring lower = ComputerName();
  for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
  info.server = lower;
  EXPECT_TRUE(wmi->Connect(info));

  info.username = L"admin";
  info.password = L"secret";
  EXPECT_FALSE(wmi->Connect(info));
  EXPECT_EQ(wmi->lastError, kWbemLocalCredentials);
  std::wstring status;
  EXPECT_FALSE(wmi->QueryDeviceStatus(L"", status));  // the failed Connect dropped the old connection
  EXPECT_EQ(wmi->lastError, kComPointer);
}

}  // namespace
}  // namespace qv
