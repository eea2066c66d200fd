// The on-screen alert through the real WMI scripting objects.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "common/system.h"
#include "monitor/checks/checker.h"
#include "monitor/settings.h"
#include "monitor/wmi/wmi_connection.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

// COM is entered on the worker thread of the Monitor; here on the test's.
struct ComApartment {
  ComApartment() { CoInitialize(nullptr); }
  ~ComApartment() { CoUninitialize(); }
};

TEST(ScreenAlertWmi, StartFailureIsReportedAndTheAlertCountsOnlyWhenStarted) {
  ComApartment com;
  std::unique_ptr<WmiConnection> wmi = CreateWmiConnection();
  QuorvanexServerInfo self;
  self.server = ComputerName();
  if (!wmi->Connect(self)) {
    GTEST_SKIP() << "no WMI connection here (lastError " << std::hex << wmi->lastError << ")";
  }
  std::wstring returnValue = L"untouched";
  const bool started = wmi->StartProcess(L"cmd.exe /c exit 0", L"", returnValue);
  if (test::RunningUnderWine()) {
    // Wine lacks SpawnInstance_: E_NOTIMPL, and the return text stays as it was.
    EXPECT_FALSE(started);
    EXPECT_EQ(static_cast<std::uint32_t>(wmi->lastError), 0x80004001u);
    EXPECT_EQ(returnValue, L"untouched");
  } else {
    EXPECT_TRUE(started);
    EXPECT_EQ(returnValue, L"0");
  }
  wmi->Release();
  wmi->Release();  // a second release gives nothing up twice

  test::TempDir dir;
  MonitorSettings settings;
  settings.exeDirectory = dir.Path();
  settings.hardwarePattern = L"X";
  CheckerPorts ports;
  ports.newWmiConnection = CreateWmiConnection;
  Checker checker(settings, std::move(ports));
  // Shown only when Create started the program (Wine cannot, so: not shown).
  EXPECT_EQ(checker.ShowScreenAlert(CheckKind::Ping, NowSeconds()), started);
}

}  // namespace
}  // namespace qv
