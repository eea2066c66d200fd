// The on-screen alert's program start on Linux: the stand-in of
// Win32_Process.Create, with fake programs first on PATH and nobody logged in,
// and the rules of the delivery to terminals.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cerrno>
#include <filesystem>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "common/system.h"
#include "common/text_util.h"
#include "monitor/alerts/terminals_posix.h"
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
    InstallRecorder("fakeprog");
    wmi.startProcess = StartCommandDetached;
    test::WriteBytes(bin.File(L"utmp"), "");
    setenv("QV_UTMP_FILE", WideToUtf8(bin.File(L"utmp")).c_str(), 1);
  }
  ~ProcessStart() override {
    setenv("PATH", savedPath_.c_str(), 1);
    unsetenv("QV_UTMP_FILE");
  }

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

TEST_F(ProcessStart, MsgIsRecognisedInAnyCaseWithOrWithoutPath) {
  for (const wchar_t* line : {L"C:\\Windows\\System32\\MSG.EXE * /time:5 /v hello  world",
                              L"\"C:\\Program Files\\Msg.Exe\" * hello world", L"msg * hello world"}) {
    std::wstring rv;
    EXPECT_TRUE(StartCommandDetached(line, L"", rv));
    EXPECT_EQ(rv, L"8") << "delivered, to nobody: " << WideToUtf8(line);
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

TEST_F(ProcessStart, AlertIsNotShownWhenNoTerminalTookIt) {
  MonitorSettings settings;
  settings.exeDirectory = bin.Path();
  CheckerPorts ports;
  ports.newWmiConnection = wmi.Connections();
  Checker checker(settings, std::move(ports));
  EXPECT_FALSE(checker.ShowScreenAlert(CheckKind::Ping, 1796534560));
}

TEST(Terminals, MessageKeepsPrintableTextTabsAndLineBreaksInCrLf) {
  const struct {
    std::wstring body;
    std::string shown;
  } cases[] = {
      {L"\u30c6\u30b9\u30c8\ta", "\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88\ta\r\n"},
      {L"1\n2\r\n3\r4", "1\r\n2\r\n3\r\n4\r\n"},  // a lone CR must not go back over a line
      {L"\x1b[2Jred\x07\x7f!", "[2Jred!\r\n"},
      {L"\x9b" L"31m\x85x", "31mx\r\n"},  // C1 controls: CSI, NEL
      {std::wstring(L"nul\0end", 7), "nulend\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TerminalMessage(c.body, L"quorvanex", L"host", L"2026/12/06 14:22:40"),
              "\r\nBroadcast message from quorvanex@host (2026/12/06 14:22:40):\r\n\r\n" + c.shown);
  }
}

TEST(Terminals, OnlyTerminalNamesBelowDevAreWrittenTo) {
  for (const char* line : {"pts/0", "pts/17", "tty1", "ttyS0", "ttyUSB3", "console"}) {
    EXPECT_TRUE(IsTerminalLine(line)) << line;
  }
  for (const char* line : {"", "/dev/pts/0", "../dev/pts/0", "pts/../pts/0", "pts/0/", "pts/", "tty", "tty/../null",
                           "null", ":0", "watchdog"}) {
    EXPECT_FALSE(IsTerminalLine(line)) << line;
  }
}

TEST(Terminals, ShownOnlyWhenSomeTerminalTookTheWholeMessage) {
  using enum TerminalOutcome;
  const struct {
    long written;
    int error;
    TerminalOutcome outcome;
  } writes[] = {{100, 0, Taken}, {99, 0, NotTaken}, {-1, EAGAIN, NotTaken}, {-1, EIO, NotTaken}, {-1, EACCES, Refused}};
  for (const auto& w : writes) EXPECT_EQ(WriteOutcome(w.written, 100, w.error), w.outcome) << w.written << w.error;
  const struct {
    std::vector<TerminalOutcome> outcomes;
    const wchar_t* returnValue;
  } deliveries[] = {{{NotTaken, Refused, Skipped, Taken}, L"0"}, {{NotTaken, Refused, Skipped}, L"2"},
                    {{NotTaken, Skipped}, L"8"}, {{}, L"8"}};
  for (const auto& d : deliveries) EXPECT_EQ(DeliveryReturnValue(d.outcomes), d.returnValue);
}

}  // namespace
}  // namespace qv
