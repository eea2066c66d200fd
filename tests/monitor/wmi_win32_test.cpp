// The COM path under Wine, whose WMI is partial: Win32_PnPEntity has no
// Caption or Status, and SpawnInstance_ is not implemented. These facts show
// that each call is made and its failure is reported; the status logic itself
// is proven by the Linux stand-in.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include "system.h"
#include "test_support.h"
#include "wmi_win32.h"
#include "wql.h"

namespace qv {
namespace {

// The Monitor's worker enters a single-threaded apartment; so do the tests.
class ComApartment : public ::testing::Environment {
 public:
  void SetUp() override { (void)CoInitialize(nullptr); }
  void TearDown() override { CoUninitialize(); }
};
const auto* const kApartment = ::testing::AddGlobalTestEnvironment(new ComApartment);

QuorvanexServerInfo ThisComputer() {
  QuorvanexServerInfo info;
  info.server = ComputerName();
  return info;
}

TEST(ScriptingWmi, ConnectHoldsLocatorAndServices) {
  ScriptingWmiConnection wmi;
  ASSERT_TRUE(wmi.Connect(ThisComputer()));
  EXPECT_NE(wmi.locator(), nullptr);
  EXPECT_NE(wmi.services(), nullptr);
  // A second Connect replaces both rather than stacking them.
  ASSERT_TRUE(wmi.Connect(ThisComputer()));
  EXPECT_NE(wmi.services(), nullptr);
  wmi.Release();
  EXPECT_EQ(wmi.locator(), nullptr);
  EXPECT_EQ(wmi.services(), nullptr);
}

TEST(ScriptingWmi, FailedConnectLeavesBothPointersNull) {
  ScriptingWmiConnection wmi;
  ASSERT_TRUE(wmi.Connect(ThisComputer()));
  QuorvanexServerInfo other = ThisComputer();
  other.server = L"qv-no-such-host.invalid";
  EXPECT_FALSE(wmi.Connect(other));
  EXPECT_LT(wmi.lastError, 0);
  EXPECT_EQ(wmi.locator(), nullptr);
  EXPECT_EQ(wmi.services(), nullptr);
}

TEST(ScriptingWmi, WineDeviceReachesThePropertyRead) {
  if (!test::RunningUnderWine()) GTEST_SKIP() << "Wine's device list";
  ScriptingWmiConnection wmi;
  ASSERT_TRUE(wmi.Connect(ThisComputer()));
  std::wstring status = L"kept";
  // Enumerated, then Caption is not found: the error of Item, not of the query.
  EXPECT_FALSE(wmi.QueryDeviceStatus(L"ROOT\\\\WINE", status));
  EXPECT_EQ(wmi.lastError, kWbemNotFound);
  EXPECT_EQ(status, L"kept");
  // The failed query leaves the connection to its user.
  EXPECT_NE(wmi.services(), nullptr);
}

TEST(ScriptingWmi, ProcessCreateStopsAtSpawnInstanceUnderWine) {
  if (!test::RunningUnderWine()) GTEST_SKIP() << "would start a process on Windows";
  ScriptingWmiConnection wmi;
  ASSERT_TRUE(wmi.Connect(ThisComputer()));
  std::wstring returned = L"kept";
  EXPECT_FALSE(wmi.StartProcess(L"cmd.exe /c exit 0", L"", returned));
  EXPECT_EQ(wmi.lastError, kComNotImplemented);
  EXPECT_EQ(returned, L"kept");
}

struct Footprint {
  SIZE_T privateBytes = 0;
  DWORD handles = 0;
};

Footprint Measure() {
  Footprint f;
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters)) {
    f.privateBytes = counters.PrivateUsage;
  }
  GetProcessHandleCount(GetCurrentProcess(), &f.handles);
  return f;
}

void Round(bool queryWineDevice) {
  ScriptingWmiConnection wmi;
  ASSERT_TRUE(wmi.Connect(ThisComputer()));
  std::wstring status;
  // One prefix that enumerates an object and reads properties, one that
  // finds nothing: together every interface of the query path.
  wmi.QueryDeviceStatus(queryWineDevice ? L"ROOT\\\\WINE" : L"QV\\\\NONE", status);
  wmi.Release();
}

// Every interface obtained in a round is released: after a warm-up, a
// thousand more rounds leave memory and handles where they were. A round
// that leaks its connection costs several kilobytes, so the bound is far
// below what a thousand leaked rounds would add.
TEST(ScriptingWmi, AThousandRoundsReleaseEverything) {
  for (int i = 0; i < 50; ++i) Round(i % 2 == 0);
  const Footprint before = Measure();
  for (int i = 0; i < 1000; ++i) Round(i % 2 == 0);
  const Footprint after = Measure();
  const long long grown = static_cast<long long>(after.privateBytes) - static_cast<long long>(before.privateBytes);
  std::printf("private bytes %llu -> %llu (%+lld), handles %lu -> %lu\n",
              static_cast<unsigned long long>(before.privateBytes),
              static_cast<unsigned long long>(after.privateBytes), grown,
              static_cast<unsigned long>(before.handles), static_cast<unsigned long>(after.handles));
  EXPECT_LT(grown, 512 * 1024);
  EXPECT_LE(after.handles, before.handles + 10);
}

}  // namespace
}  // namespace qv
