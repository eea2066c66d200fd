#include "monitor/log/log_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "common/files.h"
#include "common/system.h"
#include "common/text_util.h"
#include "monitor/messages.h"
#include "tests/support/fake_clock.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

// The fake clock's time, 2026/12/06 14:22:40 in JST.
constexpr std::int64_t kT0 = test::kFakeNow;
constexpr char kStamp[] = "2026/12/06 14:22:40";
constexpr wchar_t kRotatedAtT0[] = L"20261206_142240_log.txt";

std::size_t CountLines(const std::string& bytes) {
  std::size_t n = 0;
  for (std::size_t at = bytes.find("\r\n"); at != std::string::npos; at = bytes.find("\r\n", at + 2)) ++n;
  return n;
}

std::wstring Numbered(int i) { return L"entry " + std::to_wstring(i); }

class LogWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::SetTimeZone("JST-9");
    MakeDirectory(LogDir());
    log.SetDirectory(LogDir());
  }
  std::wstring LogDir() const { return dir.File(L"log"); }
  std::wstring LogFile() const { return JoinPath(LogDir(), L"log.txt"); }
  std::string LogBytes() const { return test::ReadBytes(LogFile()); }
  void QueueNumbered(int from, int to) {
    for (int i = from; i < to; ++i) log.Queue(-1, Numbered(i));
  }
  // Rotated files in name order, then log.txt: the whole history.
  std::string History() const {
    CSortStringArray names;
    for (auto& n : ListFilesEndingWith(LogDir(), L"_log.txt")) names.Add(n);
    names.Sort();
    std::string all;
    for (auto& n : names) all += test::ReadBytes(JoinPath(LogDir(), n));
    return all + LogBytes();
  }

  test::TempDir dir;
  test::FakeClock clock;
  LogWriter log{clock};
};

TEST_F(LogWriterTest, LineShowsDashForEveryNegativeNumberAndDigitsOtherwise) {
  EXPECT_EQ(FormatLogLine({-1, L"x", kT0}), L"2026/12/06 14:22:40|-|x\n");
  EXPECT_EQ(FormatLogLine({-7, L"x", kT0}), L"2026/12/06 14:22:40|-|x\n");
  EXPECT_EQ(FormatLogLine({0, L"x", kT0}), L"2026/12/06 14:22:40|0|x\n");
  EXPECT_EQ(FormatLogLine({42, L"x", kT0}), L"2026/12/06 14:22:40|42|x\n");
}

TEST_F(LogWriterTest, MessageIsWrittenVerbatimWithEveryLineFeedAsCrLf) {
  EXPECT_EQ(EncodeLogText(FormatLogLine({-1, L"a|b\nc", kT0})),
            std::string(kStamp) + "|-|a|b\r\nc\r\n");
  // Characters outside code page 932 become "?", one per UTF-16 unit.
  EXPECT_EQ(EncodeLogText(L"\U0001F600"), "??");
}

TEST_F(LogWriterTest, EveryFixedMessageIsWrittenInCodePage932) {
  const struct {
    const wchar_t* message;
    const char* bytes;
  } cases[] = {
      {msg::kConsoleStart, "\x8A\x4A\x8E\x6E"},
      {msg::kConsoleStop, "\x92\xE2\x8E\x7E"},
      {msg::kServiceStart, "\x83\x54\x81\x5B\x83\x72\x83\x58\x8A\x4A\x8E\x6E"},
      {msg::kServiceStop, "\x83\x54\x81\x5B\x83\x72\x83\x58\x92\xE2\x8E\x7E"},
      {msg::kMonitoringStart, "\x83\x47\x83\x89\x81\x5B\x83\x4A\x83\x45\x83\x93\x83\x67\x8A\xC4\x8E\x8B\x8A\x4A\x8E\x6E"},
      {msg::kDeviceThresholdExceeded, "\x44\x65\x76\x69\x63\x65\x4D\x61\x6E\x61\x67\x65\x72\x83\x47\x83\x89\x81\x5B\x82\xB5\x82\xAB\x82\xA2\x92\x6C\x82\xF0\x92\xB4\x89\xDF"},
      {msg::kPingThresholdExceeded, "\x50\x69\x6E\x67\x83\x47\x83\x89\x81\x5B\x82\xB5\x82\xAB\x82\xA2\x92\x6C\x82\xF0\x92\xB4\x89\xDF"},
      {msg::kScreenAlertDevice, "\x83\x81\x83\x62\x83\x5A\x81\x5B\x83\x57\x95\x5C\x8E\xA6\x64\x65\x76\x69\x63\x65"},
      {msg::kScreenAlertPing, "\x83\x81\x83\x62\x83\x5A\x81\x5B\x83\x57\x95\x5C\x8E\xA6\x70\x69\x6E\x67"},
      {msg::kMailSent, "\x83\x81\x81\x5B\x83\x8B\x91\x97\x90\x4D\x20\x90\xAC\x8C\xF7\x3A\x25\x73"},
      {msg::kMailFailed, "\x83\x81\x81\x5B\x83\x8B\x91\x97\x90\x4D\x20\x8E\xB8\x94\x73\x3A\x25\x73"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeLogText(FormatLogLine({-1, c.message, kT0})),
              std::string(kStamp) + "|-|" + c.bytes + "\r\n");
  }
}

TEST_F(LogWriterTest, AnEmptyQueueOpensNoFile) {
  EXPECT_TRUE(log.RunPass());
  EXPECT_FALSE(PathExists(LogFile()));
}

TEST_F(LogWriterTest, ABacklogOf250ReachesTheFileIn100_100_50InQueueOrder) {
  QueueNumbered(0, 250);
  log.RunPass();
  EXPECT_EQ(CountLines(LogBytes()), 100u);
  log.RunPass();
  EXPECT_EQ(CountLines(LogBytes()), 200u);
  log.RunPass();
  const std::string bytes = LogBytes();
  EXPECT_EQ(CountLines(bytes), 250u);
  std::string expected;
  for (int i = 0; i < 250; ++i) expected += std::string(kStamp) + "|-|entry " + std::to_string(i) + "\r\n";
  EXPECT_EQ(bytes, expected);
}

// One line "<stamp>|-|x\r\n" is 25 bytes.
constexpr std::size_t kLineBytes = 25;

TEST_F(LogWriterTest, AFileOfExactly150KiBStaysAndOneByteMoreIsRotated) {
  test::WriteBytes(LogFile(), std::string(153600 - kLineBytes, 'a'));
  log.Queue(-1, L"x");
  log.RunPass();
  EXPECT_EQ(LogBytes().size(), 153600u);
  EXPECT_FALSE(PathExists(JoinPath(LogDir(), kRotatedAtT0)));

  test::WriteBytes(LogFile(), std::string(153601 - kLineBytes, 'a'));
  log.Queue(-1, L"x");
  log.RunPass();
  EXPECT_FALSE(PathExists(LogFile()));
  EXPECT_EQ(test::ReadBytes(JoinPath(LogDir(), kRotatedAtT0)).size(), 153601u);

  log.Queue(-1, L"x");
  log.RunPass();
  EXPECT_EQ(LogBytes(), std::string(kStamp) + "|-|x\r\n");
}

TEST_F(LogWriterTest, ASecondRotationInTheSameSecondLeavesLogTxtUntilALaterPass) {
  test::WriteBytes(JoinPath(LogDir(), kRotatedAtT0), "earlier");
  test::WriteBytes(LogFile(), std::string(153601, 'a'));
  log.Queue(-1, L"x");
  log.RunPass();
  EXPECT_EQ(LogBytes().size(), 153601u + kLineBytes);
  EXPECT_EQ(test::ReadBytes(JoinPath(LogDir(), kRotatedAtT0)), "earlier");

  clock.now += 1;
  log.Queue(-1, L"x");
  log.RunPass();
  EXPECT_FALSE(PathExists(LogFile()));
  EXPECT_TRUE(PathExists(JoinPath(LogDir(), L"20261206_142241_log.txt")));
}

std::wstring OldName(int i) {
  return L"202601" + std::wstring(i < 10 ? L"0" : L"") + std::to_wstring(i) + L"_000000_log.txt";
}

TEST_F(LogWriterTest, RotationKeepsThe30NewestAndSkipsDirectoriesAndOtherFiles) {
  for (int i = 1; i <= 30; ++i) test::WriteBytes(JoinPath(LogDir(), OldName(i)), "old");
  // Smallest name of all, but a directory: neither counted nor deleted.
  MakeDirectory(JoinPath(LogDir(), L"00000000_000000_log.txt"));
  test::WriteBytes(JoinPath(LogDir(), L"notes.txt"), "keep");
  test::WriteBytes(LogFile(), std::string(153601, 'a'));
  log.Queue(-1, L"x");
  log.RunPass();

  EXPECT_TRUE(PathExists(JoinPath(LogDir(), kRotatedAtT0)));
  EXPECT_FALSE(PathExists(JoinPath(LogDir(), OldName(1))));
  for (int i = 2; i <= 30; ++i) EXPECT_TRUE(PathExists(JoinPath(LogDir(), OldName(i)))) << i;
  EXPECT_TRUE(IsDirectory(JoinPath(LogDir(), L"00000000_000000_log.txt")));
  EXPECT_TRUE(PathExists(JoinPath(LogDir(), L"notes.txt")));
  EXPECT_EQ(ListFilesEndingWith(LogDir(), L"_log.txt").size(), 30u);
}

TEST_F(LogWriterTest, PruningWith30RotatedFilesDeletesNone) {
  for (int i = 1; i <= 30; ++i) test::WriteBytes(JoinPath(LogDir(), OldName(i)), "old");
  PruneRotatedLogs(log.Directory());
  EXPECT_EQ(ListFilesEndingWith(LogDir(), L"_log.txt").size(), 30u);
  test::WriteBytes(JoinPath(LogDir(), OldName(31)), "old");
  PruneRotatedLogs(log.Directory());
  EXPECT_FALSE(PathExists(JoinPath(LogDir(), OldName(1))));
  EXPECT_TRUE(PathExists(JoinPath(LogDir(), OldName(31))));
}

TEST_F(LogWriterTest, RotationWithTheClockSetBackKeepsTheFileItHasJustMade) {
  for (int i = 1; i <= 30; ++i) test::WriteBytes(JoinPath(LogDir(), OldName(i)), "old");
  clock.now = kT0 - 365 * 86400;  // 2025/12/06: sorts before every old name
  test::WriteBytes(LogFile(), std::string(153601, 'a'));
  log.Queue(-1, L"x");
  log.RunPass();
  const std::wstring made = JoinPath(LogDir(), L"20251206_142240_log.txt");
  EXPECT_EQ(test::ReadBytes(made).size(), 153601u + kLineBytes);
  // The oldest of the others goes instead.
  EXPECT_FALSE(PathExists(JoinPath(LogDir(), OldName(1))));
  for (int i = 2; i <= 30; ++i) EXPECT_TRUE(PathExists(JoinPath(LogDir(), OldName(i)))) << i;
  EXPECT_EQ(ListFilesEndingWith(LogDir(), L"_log.txt").size(), 30u);
}

TEST_F(LogWriterTest, MissingLevelsOfTheLogDirectoryAreMade) {
  const std::wstring deep = JoinPath(JoinPath(dir.File(L"a"), L"b"), L"c");
  log.SetDirectory(deep);
  log.Queue(-1, L"x");
  EXPECT_TRUE(log.RunPass());
  EXPECT_EQ(test::ReadBytes(JoinPath(deep, L"log.txt")), std::string(kStamp) + "|-|x\r\n");
}

TEST_F(LogWriterTest, AnUnwritableLogIsReportedOnStandardErrorOnce) {
  const std::wstring blocker = dir.File(L"blocker");
  test::WriteBytes(blocker, "a file where the log directory should be");
  log.SetDirectory(blocker);
  testing::internal::CaptureStderr();
  for (int i = 0; i < 3; ++i) {
    log.Queue(-1, L"x");
    EXPECT_FALSE(log.RunPass());
  }
  const std::string said = testing::internal::GetCapturedStderr();
  const std::string path = WideToUtf8(JoinPath(blocker, L"log.txt"));  // ASCII: the same in CP932
  const std::size_t at = said.find(path);
  ASSERT_NE(at, std::string::npos) << said;
  EXPECT_EQ(said.find(path, at + 1), std::string::npos) << "said more than once: " << said;
}

TEST(SortStringArray, SortsAscendingWithoutCaseAndKeepsEqualNamesInPlace) {
  CSortStringArray names{L"b", L"A", L"c", L"a", L"B_LOG.TXT", L"b_log.txt"};
  names.Sort();
  EXPECT_EQ(names, (CSortStringArray{L"A", L"a", L"b", L"B_LOG.TXT", L"b_log.txt", L"c"}));
  CSortStringArray one{L"x"};
  one.Sort();
  EXPECT_EQ(one, CSortStringArray{L"x"});
}

TEST_F(LogWriterTest, FlushWritesEveryQueuedEntryNotOnlyTheFirst100) {
  QueueNumbered(0, 10000);
  log.Flush();
  const std::string all = History();
  EXPECT_EQ(CountLines(all), 10000u);
  const std::string last = std::string(kStamp) + "|-|entry 9999\r\n";
  ASSERT_GE(all.size(), last.size());
  EXPECT_EQ(all.substr(all.size() - last.size()), last);
  EXPECT_TRUE(log.TakeQueued().empty());
}

TEST_F(LogWriterTest, LinesOfAFailedOpenAreRetriedFirstAndTheDirectoryIsMadeAgain) {
  const std::wstring blocker = dir.File(L"blocker");
  test::WriteBytes(blocker, "a file where the directory's parent should be");
  log.SetDirectory(JoinPath(blocker, L"log"));
  log.Queue(-1, L"first");
  EXPECT_FALSE(log.RunPass());
  EXPECT_EQ(log.BacklogSize(), 1u);

  RemoveFile(blocker);
  MakeDirectory(blocker);  // the log directory itself is still missing
  log.Queue(-1, L"second");
  EXPECT_TRUE(log.RunPass());
  EXPECT_EQ(test::ReadBytes(JoinPath(JoinPath(blocker, L"log"), L"log.txt")),
            std::string(kStamp) + "|-|first\r\n" + kStamp + "|-|second\r\n");
  EXPECT_EQ(log.BacklogSize(), 0u);
}

TEST_F(LogWriterTest, ADirectoryRemovedWhileRunningIsMadeAgain) {
  log.Queue(-1, L"before");
  log.RunPass();
  RemoveFile(LogFile());
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(LogDir()), ec);
  ASSERT_FALSE(PathExists(LogDir()));
  log.Queue(-1, L"after");
  EXPECT_TRUE(log.RunPass());
  EXPECT_EQ(LogBytes(), std::string(kStamp) + "|-|after\r\n");
}

TEST_F(LogWriterTest, TheBacklogOfAnUnopenableFileKeepsOnlyTheNewest10000) {
  const std::wstring blocker = dir.File(L"blocker");
  test::WriteBytes(blocker, "x");
  log.SetDirectory(JoinPath(blocker, L"log"));
  QueueNumbered(0, 10050);
  for (int pass = 0; pass < 101; ++pass) log.RunPass();
  EXPECT_EQ(log.BacklogSize(), 10000u);

  RemoveFile(blocker);
  MakeDirectory(blocker);
  MakeDirectory(JoinPath(blocker, L"log"));
  EXPECT_EQ(log.Flush(), 50u);  // the dropped ones are reported as lost
  CSortStringArray names;
  for (auto& n : ListFilesEndingWith(log.Directory(), L"_log.txt")) names.Add(n);
  names.Sort();
  std::string all;
  for (auto& n : names) all += test::ReadBytes(JoinPath(log.Directory(), n));
  all += test::ReadBytes(log.CurrentLogPath());
  EXPECT_EQ(CountLines(all), 10000u);
  EXPECT_EQ(all.find(std::string(kStamp) + "|-|entry 50\r\n"), 0u);
}

TEST_F(LogWriterTest, AFlushThatFailsIsRetriedUntilTheFileCanBeWritten) {
  const std::wstring blocker = dir.File(L"blocker");
  test::WriteBytes(blocker, "x");
  log.SetDirectory(JoinPath(blocker, L"log"));
  QueueNumbered(0, 3);
  int sleeps = 0;
  clock.onSleep = [&](std::uint32_t) {
    if (++sleeps == 4) {  // a second later the way is free
      RemoveFile(blocker);
      MakeDirectory(blocker);
    }
  };
  EXPECT_EQ(log.Flush(), 0u);
  EXPECT_EQ(clock.sleptMs.load(), 4 * kFlushRetryPauseMs);
  EXPECT_EQ(CountLines(test::ReadBytes(log.CurrentLogPath())), 3u);
}

TEST_F(LogWriterTest, AFlushThatKeepsFailingGivesUpAfterItsBoundAndCountsTheLinesOnce) {
  const std::wstring blocker = dir.File(L"blocker");
  test::WriteBytes(blocker, "x");
  log.SetDirectory(JoinPath(blocker, L"log"));
  QueueNumbered(0, 150);
  log.RunPass();  // 100 of them wait in the backlog, 50 in the queue
  EXPECT_EQ(log.Flush(), 150u);
  EXPECT_EQ(clock.sleptMs.load(), kFlushRetryMs);
  EXPECT_EQ(log.Flush(), 0u);
  EXPECT_EQ(clock.sleptMs.load(), kFlushRetryMs);
}

TEST_F(LogWriterTest, EntriesQueuedBeforeTheStartAreWrittenByTheFirstPass) {
  log.Queue(-1, L"early");
  const std::wstring configured = dir.File(L"configured");
  log.Start(configured);  // the thread makes this directory, not the default one
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (test::ReadBytes(JoinPath(configured, L"log.txt")).empty() &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  log.StopThread();
  EXPECT_FALSE(log.IsRunning());
  EXPECT_EQ(test::ReadBytes(JoinPath(configured, L"log.txt")), std::string(kStamp) + "|-|early\r\n");
}

TEST_F(LogWriterTest, StopEndsTheThreadInItsPauseAndFlushWritesWhatCameLater) {
  log.Start(LogDir());
  log.StopThread();
  log.StopThread();
  EXPECT_FALSE(log.IsRunning());
  log.Queue(-1, L"late");
  log.Flush();
  EXPECT_EQ(LogBytes(), std::string(kStamp) + "|-|late\r\n");
}

TEST(ProcessLog, StartsInTheConfiguredDirectoryAndFlushesAtStop) {
  test::TempDir dir;
  TakeQueuedLogEntries();
  WriteLog(L"queued before the start");
  StartLogWriter(dir.Path());
  EXPECT_EQ(TheLog().Directory(), dir.Path());
  WriteLogNumbered(-1, msg::kConsoleStop);
  StopLogWriter();
  const std::string bytes = test::ReadBytes(dir.File(L"log.txt"));
  EXPECT_EQ(CountLines(bytes), 2u);
  EXPECT_NE(bytes.find("|-|queued before the start\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("|-|\x92\xE2\x8E\x7E\r\n"), std::string::npos);
}

}  // namespace
}  // namespace qv
