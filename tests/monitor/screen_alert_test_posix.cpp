// The on-screen alert's program start on Linux: the stand-in of
// Win32_Process.Create, with fake programs first on PATH.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <string>
#include <thread>

#include "common/system.h"
#include "common/text_util.h"
#include "monitor/checks/checker.h"
#include "monitor/settings.h"
#include "monitor/wmi/process_start_posix.h"
#include "tests/support/fake_wmi.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

using test::TempDir;

// Leaves its arguments (one per line, in brackets), its standard input and its
// working directory beside itself, named after itself; ".done" comes last.
const char kRecorder[] =
    "#!/bin/sh\n"
    "out=\"$(dirname \"$0\")/$(basename \"$0\")\"\n"
    "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$out.args\"\n"
    "cat > \"$out.stdin\"\n"
    "pwd > \"$out.pwd\"\n"
    "touch \"$out.done\"\n";

class ProcessStart : public testing::Test {
 protected:
  ProcessStart() {
    const char* old = std::getenv("PATH");
    savedPath_ = old ? old : "";
    setenv("PATH", (WideToUtf8(bin.Path()) + ":" + savedPath_).c_str(), 1);
    InstallRecorder("wall");
    InstallRecorder("fakeprog");
    wmi.startProcess = StartCommandDetached;
  }
  ~ProcessStart() override { setenv("PATH", savedPath_.c_str(), 1); }

  void InstallRecorder(const char* name) {
    const std::wstring path = bin.File(Utf8ToWide(name));
    test::WriteBytes(path, kRecorder);
    chmod(WideToUtf8(path).c_str(), 0755);
  }

  // Waits for the detached program to finish; its recorded `what`.
  std::string Recorded(const char* name, const char* what) {
    for (int i = 0; i < 200 && !Ran(name); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return test::ReadBytes(bin.File(Utf8ToWide(name)) + L"." + Utf8ToWide(what));
  }

  bool Ran(const char* name) {
    return std::filesystem::exists(std::filesystem::path(WideToUtf8(bin.File(Utf8ToWide(name)) + L".done")));
  }

  TempDir bin;
  test::FakeWmi wmi;  // starts through the stand-in, as the Linux WMI does
  std::string savedPath_;
};

TEST_F(ProcessStart, MsgTextGoesToWallOnItsInput) {
  std::wstring rv;
  EXPECT_TRUE(StartCommandDetached(L"msg.exe * /TIME:2147483647 \"[2026/12/06 14:22:40]ping error\"", L"", rv));
  EXPECT_EQ(rv, L"0");
  EXPECT_EQ(Recorded("wall", "stdin"), "[2026/12/06 14:22:40]ping error\n");
  EXPECT_EQ(Recorded("wall", "args"), "") << "a lone argument naming a file would be read as that file";
}

TEST_F(ProcessStart, MsgIsRecognisedInAnyCaseWithOrWithoutPath) {
  for (const wchar_t* line : {L"C:\\Windows\\System32\\MSG.EXE * /time:5 /v hello  world",
                              L"\"C:\\Program Files\\Msg.Exe\" * hello world", L"msg * hello world"}) {
    std::remove(WideToUtf8(bin.File(L"wall.done")).c_str());
    std::wstring rv;
    EXPECT_TRUE(StartCommandDetached(line, L"", rv));
    EXPECT_EQ(rv, L"0");
    EXPECT_EQ(Recorded("wall", "stdin"), "hello world\n") << WideToUtf8(line);
  }
  EXPECT_FALSE(Ran("fakeprog"));
}

TEST_F(ProcessStart, OtherProgramsStartAsGivenInTheDirectory) {
  TempDir work;
  std::wstring rv;
  EXPECT_TRUE(StartCommandDetached(L"fakeprog a \"b c\" \"\" d\\\"e *", work.Path(), rv));
  EXPECT_EQ(rv, L"0");
  EXPECT_EQ(Recorded("fakeprog", "args"), "[a]\n[b c]\n[]\n[d\"e]\n[*]\n");
  EXPECT_EQ(Recorded("fakeprog", "pwd"), WideToUtf8(work.Path()) + "\n");
  EXPECT_FALSE(Ran("wall"));
}

TEST_F(ProcessStart, FailedStartsGiveCreateReturnValues) {
  std::wstring rv;
  EXPECT_TRUE(StartCommandDetached(L"qv-no-such-program x", L"", rv));
  EXPECT_EQ(rv, L"9");
  const std::wstring plain = bin.File(L"not-executable");
  test::WriteBytes(plain, "data");
  EXPECT_TRUE(StartCommandDetached(L"\"" + plain + L"\"", L"", rv));
  EXPECT_EQ(rv, L"2");
  EXPECT_TRUE(StartCommandDetached(L"fakeprog", bin.File(L"no-such-dir"), rv));
  EXPECT_EQ(rv, L"9");
  EXPECT_TRUE(StartCommandDetached(L"", L"", rv));
  EXPECT_EQ(rv, L"21");
}

TEST_F(ProcessStart, ComposedAlertReachesTheTerminals) {
  test::SetTimeZone("JST-9");
  TempDir exe;
  test::WriteBytes(exe.File(L"message.ini"), "[Config]\r\nBody_device=device <name> lost\r\n");
  MonitorSettings settings;
  settings.exeDirectory = exe.Path();
  settings.hardwarePattern = L"PCI\\\\VEN_8086";
  CheckerPorts ports;
  ports.newWmiConnection = wmi.Connections();
  Checker checker(settings, std::move(ports));
  EXPECT_TRUE(checker.ShowScreenAlert(CheckKind::Device, 1796534560));
  EXPECT_EQ(Recorded("wall", "stdin"), "[2026/12/06 14:22:40]device PCI\\\\VEN_8086 lost\n");
  test::SetTimeZone("UTC0");
}

TEST_F(ProcessStart, AlertIsNotShownWhenWallCannotStart) {
  setenv("PATH", WideToUtf8(bin.Path()).c_str(), 1);
  std::filesystem::remove(std::filesystem::path(WideToUtf8(bin.File(L"wall"))));
  MonitorSettings settings;
  settings.exeDirectory = bin.Path();
  CheckerPorts ports;
  ports.newWmiConnection = wmi.Connections();
  Checker checker(settings, std::move(ports));
  EXPECT_FALSE(checker.ShowScreenAlert(CheckKind::Ping, 1796534560));
}

}  // namespace
}  // namespace qv
