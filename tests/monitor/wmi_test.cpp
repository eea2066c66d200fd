// What both WmiConnection implementations agree on. Under Wine this runs the
// real scripting objects; on Linux the sysfs stand-in.
#include "monitor/wmi/wmi_connection.h"

#include <gtest/gtest.h>

#include "common/system.h"
#include "monitor/wmi/wql.h"

namespace qv {
namespace {

QuorvanexServerInfo ThisComputer() {
  QuorvanexServerInfo info;
  info.server = ComputerName();
  return info;
}

TEST(WmiConnection, ConnectsToThisComputerWithoutCredentials) {
  auto wmi = CreateWmiConnection();
  EXPECT_TRUE(wmi->Connect(ThisComputer()));
  EXPECT_EQ(wmi->lastError, 0);
  wmi->Release();
  // Released, it answers nothing.
  std::wstring returned = L"kept";
  EXPECT_FALSE(wmi->StartProcess(L"true", L"", returned));
  EXPECT_EQ(wmi->lastError, kComPointer);
  EXPECT_EQ(returned, L"kept");
}

TEST(WmiConnection, AMachineThatDoesNotResolveGivesANegativeError) {
  auto wmi = CreateWmiConnection();
  QuorvanexServerInfo info = ThisComputer();
  info.server = L"qv-no-such-host.invalid";
  EXPECT_FALSE(wmi->Connect(info));
  EXPECT_LT(wmi->lastError, 0);
  std::wstring status = L"kept";
  EXPECT_FALSE(wmi->QueryDeviceStatus(L"", status));  // no connection is held
  EXPECT_EQ(wmi->lastError, kComPointer);
  EXPECT_EQ(status, L"kept");
  wmi->Release();
  wmi->Release();
}

TEST(WmiConnection, NoMatchOrAQuoteInThePrefixIsFalse) {
  auto wmi = CreateWmiConnection();
  ASSERT_TRUE(wmi->Connect(ThisComputer()));
  std::wstring status = L"kept";
  EXPECT_FALSE(wmi->QueryDeviceStatus(L"QV\\\\NO\\\\SUCH\\\\DEVICE", status));
  EXPECT_EQ(wmi->lastError, 0);  // no match is no error
  EXPECT_FALSE(wmi->QueryDeviceStatus(L"ROOT\\\\WINE'", status));
  EXPECT_EQ(status, L"kept");
}

}  // namespace
}  // namespace qv
