// What both WmiConnection implementations must agree on. Under Wine this
// runs the real scripting objects; on Linux the sysfs stand-in.
#include "wmi_connection.h"

#include <gtest/gtest.h>

#include "system.h"
#include "wql.h"

namespace qv {
namespace {

QuorvanexServerInfo ThisComputer() {
  QuorvanexServerInfo info;
  info.index = 12345;
  info.server = ComputerName();
  return info;
}

TEST(WmiConnection, ConnectsToThisComputerWithoutCredentials) {
  auto wmi = CreateWmiConnection();
  EXPECT_TRUE(wmi->Connect(ThisComputer()));
  EXPECT_EQ(wmi->lastError, 0);
  wmi->Release();
}

TEST(WmiConnection, AMachineThatDoesNotResolveGivesANegativeError) {
  auto wmi = CreateWmiConnection();
  QuorvanexServerInfo info = ThisComputer();
  info.server = L"qv-no-such-host.invalid";
  EXPECT_FALSE(wmi->Connect(info));
  EXPECT_LT(wmi->lastError, 0);
  // Nothing is held: a query now finds no connection.
  std::wstring status = L"kept";
  EXPECT_FALSE(wmi->QueryDeviceStatus(L"", status));
  EXPECT_EQ(wmi->lastError, kComPointer);
  EXPECT_EQ(status, L"kept");
  wmi->Release();
  wmi->Release();  // releasing nothing twice is harmless
}

TEST(WmiConnection, APrefixThatMatchesNothingLeavesStatusAndErrorAlone) {
  auto wmi = CreateWmiConnection();
  ASSERT_TRUE(wmi->Connect(ThisComputer()));
  std::wstring status = L"kept";
  EXPECT_FALSE(wmi->QueryDeviceStatus(L"QV\\\\NO\\\\SUCH\\\\DEVICE", status));
  EXPECT_EQ(status, L"kept");
  EXPECT_EQ(wmi->lastError, 0);
}

TEST(WmiConnection, APrefixWithASingleQuoteIsAFailedQuery) {
  auto wmi = CreateWmiConnection();
  ASSERT_TRUE(wmi->Connect(ThisComputer()));
  std::wstring status = L"kept";
  EXPECT_FALSE(wmi->QueryDeviceStatus(L"ROOT\\\\WINE'", status));
  EXPECT_FALSE(wmi->QueryDeviceStatus(L"'", status));
  EXPECT_EQ(status, L"kept");
}

TEST(WmiConnection, ReleasedConnectionAnswersNothing) {
  auto wmi = CreateWmiConnection();
  ASSERT_TRUE(wmi->Connect(ThisComputer()));
  wmi->Release();
  std::wstring status;
  EXPECT_FALSE(wmi->QueryDeviceStatus(L"", status));
  EXPECT_EQ(wmi->lastError, kComPointer);
  std::wstring returned = L"kept";
  EXPECT_FALSE(wmi->StartProcess(L"true", L"", returned));
  EXPECT_EQ(returned, L"kept");
}

}  // namespace
}  // namespace qv
