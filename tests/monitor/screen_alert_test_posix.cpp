// The on-screen alert's program start on Linux: the stand-in of
// Win32_Process.Create, with fake programs first on PATH, and msg.exe's
// message on pseudo-terminals of this test with their own utmp file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <utmpx.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/handles_posix.h"
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

// A user logged in on a pseudo-terminal of this test, in raw mode so that
// the bytes arrive as written, with the group's write permission as `mesg`
// leaves it.
class Terminal {
 public:
  explicit Terminal(bool mesgY) {
    master_.Reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    char name[64] = {};
    EXPECT_TRUE(master_ && grantpt(master_.Get()) == 0 && unlockpt(master_.Get()) == 0 &&
                ptsname_r(master_.Get(), name, sizeof name) == 0);
    path_ = name;
    session_.Reset(open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    termios raw{};
    tcgetattr(session_.Get(), &raw);
    cfmakeraw(&raw);
    tcsetattr(session_.Get(), TCSANOW, &raw);
    chmod(name, mesgY ? 0620 : 0600);
  }
  std::string Line() const { return path_.substr(std::strlen("/dev/")); }
  // What reached the terminal: waits up to `firstMs` for the first bytes,
  // then takes what follows them at once.
  std::string Received(int firstMs = 2000) {
    std::string bytes;
    pollfd ready{master_.Get(), POLLIN, 0};
    for (int wait = firstMs; poll(&ready, 1, wait) == 1; wait = 100) {
      char chunk[4096];
      const ssize_t n = read(master_.Get(), chunk, sizeof chunk);
      if (n <= 0) break;
      bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return bytes;
  }

 private:
  UniqueFd master_;
  UniqueFd session_;
  std::string path_;
};

class ProcessStart : public testing::Test {
 protected:
  ProcessStart() {
    const char* old = std::getenv("PATH");
    savedPath_ = old ? old : "";
    setenv("PATH", (WideToUtf8(bin.Path()) + ":" + savedPath_).c_str(), 1);
    InstallRecorder("fakeprog");
    wmi.startProcess = StartCommandDetached;
    setenv("QV_UTMP_FILE", WideToUtf8(bin.File(L"utmp")).c_str(), 1);
    test::WriteBytes(bin.File(L"utmp"), "");
  }
  ~ProcessStart() override {
    setenv("PATH", savedPath_.c_str(), 1);
    unsetenv("QV_UTMP_FILE");
  }

  // A USER_PROCESS entry of the utmp file, as login writes it.
  void LogIn(const std::string& line, const char* user = "alice") {
    utmpx entry{};
    entry.ut_type = USER_PROCESS;
    entry.ut_pid = getpid();
    std::strncpy(entry.ut_line, line.c_str(), sizeof entry.ut_line);
    std::strncpy(entry.ut_user, user, sizeof entry.ut_user);
    std::string bytes = test::ReadBytes(bin.File(L"utmp"));
    bytes.append(reinterpret_cast<const char*>(&entry), sizeof entry);
    test::WriteBytes(bin.File(L"utmp"), bytes);
  }
  // A user logged in on a new terminal.
  Terminal& NewLogin(bool mesgY = true) {
    terminals_.emplace_back(mesgY);
    LogIn(terminals_.back().Line());
    return terminals_.back();
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
  std::deque<Terminal> terminals_;
};

std::string ReceivedBody(Terminal& terminal) {
  const std::string bytes = terminal.Received();
  const std::size_t body = bytes.find("):\r\n\r\n");
  return body == std::string::npos ? "(no heading) " + bytes : bytes.substr(body + 6);
}

TEST_F(ProcessStart, MsgTextGoesToTheLoggedInTerminalsHeadedLikeWalls) {
  Terminal& terminal = NewLogin();
  std::wstring rv;
  EXPECT_TRUE(StartCommandDetached(L"msg.exe * /TIME:2147483647 \"[2026/12/06 14:22:40]ping error\"", L"", rv));
  EXPECT_EQ(rv, L"0");
  const std::string bytes = terminal.Received();
  EXPECT_EQ(bytes.rfind("\r\nBroadcast message from ", 0), 0u) << bytes;
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  EXPECT_NE(bytes.find("@" + std::string(host) + " ("), std::string::npos) << bytes;
  EXPECT_TRUE(bytes.ends_with("):\r\n\r\n[2026/12/06 14:22:40]ping error\r\n")) << bytes;
}

TEST_F(ProcessStart, MsgIsRecognisedInAnyCaseWithOrWithoutPath) {
  Terminal& terminal = NewLogin();
  for (const wchar_t* line : {L"C:\\Windows\\System32\\MSG.EXE * /time:5 /v hello  world",
                              L"\"C:\\Program Files\\Msg.Exe\" * hello world", L"msg * hello world"}) {
    std::wstring rv;
    EXPECT_TRUE(StartCommandDetached(line, L"", rv));
    EXPECT_EQ(rv, L"0");
    EXPECT_EQ(ReceivedBody(terminal), "hello world\r\n") << WideToUtf8(line);
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

TEST_F(ProcessStart, ComposedAlertReachesTheTerminals) {
  test::SetTimeZone("JST-9");
  Terminal& terminal = NewLogin();
  TempDir exe;
  test::WriteBytes(exe.File(L"message.ini"), "[Config]\r\nBody_device=device <name> lost\r\n");
  MonitorSettings settings;
  settings.exeDirectory = exe.Path();
  settings.hardwarePattern = L"PCI\\\\VEN_8086";
  CheckerPorts ports;
  ports.newWmiConnection = wmi.Connections();
  Checker checker(settings, std::move(ports));
  EXPECT_TRUE(checker.ShowScreenAlert(CheckKind::Device, 1796534560));
  EXPECT_EQ(ReceivedBody(terminal), "[2026/12/06 14:22:40]device PCI\\\\VEN_8086 lost\r\n");
  test::SetTimeZone("UTC0");
}

// Shown when at least one terminal took the whole message; a terminal gets
// it once, and only through a utmp line that names it below /dev.
TEST_F(ProcessStart, AlertIsShownOnlyWhenSomeTerminalTookIt) {
  const struct {
    const char* name;
    std::vector<bool> mesgY;         // one terminal each
    std::vector<std::string> lines;  // of the utmp file; "T0" stands for terminal 0's own
    std::vector<int> copies;         // what each terminal got
    bool shown;
  } cases[] = {
      {"nobody logged in", {}, {}, {}, false},
      {"the only user said mesg n", {false}, {"T0"}, {0}, false},
      {"one of two said mesg n", {false, true}, {"T0", "T1"}, {0, 1}, true},
      {"a terminal that is gone", {}, {"pts/999999"}, {}, false},
      {"logged in twice on one terminal", {true}, {"T0", "T0"}, {1}, true},
      {"lines that climb out of /dev or start at the root", {true}, {"../dev/T0", "pts/../T0", "/dev/T0", "null"},
       {0}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    terminals_.clear();
    for (const bool mesgY : c.mesgY) terminals_.emplace_back(mesgY);
    test::WriteBytes(bin.File(L"utmp"), "");
    for (std::string line : c.lines) {
      for (std::size_t i = 0; i < terminals_.size(); ++i) {
        const std::string mark = "T" + std::to_string(i);
        if (const std::size_t at = line.find(mark); at != std::string::npos) line.replace(at, 2, terminals_[i].Line());
      }
      LogIn(line);
    }
    MonitorSettings settings;
    settings.exeDirectory = bin.Path();
    CheckerPorts ports;
    ports.newWmiConnection = wmi.Connections();
    Checker checker(settings, std::move(ports));
    EXPECT_EQ(checker.ShowScreenAlert(CheckKind::Ping, 1796534560), c.shown);
    for (std::size_t i = 0; i < terminals_.size(); ++i) {
      const std::string got = terminals_[i].Received(c.copies[i] > 0 ? 2000 : 300);
      int copies = 0;
      for (std::size_t at = got.find("Broadcast"); at != std::string::npos; at = got.find("Broadcast", at + 1)) {
        ++copies;
      }
      EXPECT_EQ(copies, c.copies[i]) << "terminal " << i;
    }
  }
}

TEST(TerminalMessage, KeepsPrintableTextTabsAndLineBreaksInCrLf) {
  const struct {
    std::wstring body;
    std::string shown;
  } cases[] = {
      {L"plain \u30c6\u30b9\u30c8", "plain \xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88\r\n"},
      {L"a\tb", "a\tb\r\n"},
      {L"1\n2\r\n3\r4", "1\r\n2\r\n3\r\n4\r\n"},
      {L"\x1b[2Jred\x07\x08\x7f!", "[2Jred!\r\n"},
      {L"\x9b" L"31m\x85x", "31mx\r\n"},  // C1: CSI and NEL
      {std::wstring(L"nul\0end", 7), "nulend\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TerminalMessage(c.body, L"quorvanex", L"host", L"2026/12/06 14:22:40"),
              "\r\nBroadcast message from quorvanex@host (2026/12/06 14:22:40):\r\n\r\n" + c.shown)
        << WideToUtf8(c.body);
  }
}

TEST(TerminalMessage, ATerminalCountsOnlyWhenItTookTheWholeMessage) {
  const struct {
    long written;
    int error;
    TerminalOutcome outcome;
  } cases[] = {
      {100, 0, TerminalOutcome::Taken},
      {99, 0, TerminalOutcome::NotTaken},
      {0, 0, TerminalOutcome::NotTaken},
      {-1, EAGAIN, TerminalOutcome::NotTaken},  // full
      {-1, EIO, TerminalOutcome::NotTaken},     // hung up
      {-1, EACCES, TerminalOutcome::Refused},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WriteOutcome(c.written, 100, c.error), c.outcome) << c.written << " " << c.error;
  }
  using enum TerminalOutcome;
  EXPECT_EQ(DeliveryReturnValue({NotTaken, Refused, Taken, Skipped}), L"0");
  EXPECT_EQ(DeliveryReturnValue({NotTaken, Refused, Skipped}), L"2");
  EXPECT_EQ(DeliveryReturnValue({NotTaken, Skipped}), L"8");
  EXPECT_EQ(DeliveryReturnValue({}), L"8");
}

}  // namespace
}  // namespace qv
