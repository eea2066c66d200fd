#include "monitor/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "common/system.h"
#include "common/text_util.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

class Settings : public ::testing::Test {
 protected:
  void Write(const wchar_t* name, const std::string& bytes) { test::WriteBytes(dir_.File(name), bytes); }
  MonitorSettings Load() {
    MonitorSettings s;
    LoadSettings(s, dir_.Path());
    return s;
  }
  std::int32_t Interval(const std::string& value) {
    Write(L"config.ini", "[Config]\r\nInterval=" + value + "\r\n");
    return Load().intervalMinutes;
  }

  test::TempDir dir_;
};

void ExpectDefaults(const MonitorSettings& s, const std::wstring& dir) {
  EXPECT_EQ(s.exeDirectory, dir);
  EXPECT_EQ(s.intervalMinutes, 5);
  EXPECT_EQ(s.pingThreshold, 5);
  EXPECT_EQ(s.deviceThreshold, 5);
  EXPECT_EQ(s.logDirectory, JoinPath(dir, L"log"));
  EXPECT_TRUE(s.hardwarePattern.empty());
  EXPECT_TRUE(s.servers.empty());
  EXPECT_EQ(s.mailSendLimit, 0u);
  EXPECT_TRUE(s.screenAlertEnabled);
}

TEST_F(Settings, MissingFilesGiveTheDefaults) { ExpectDefaults(Load(), dir_.Path()); }

TEST_F(Settings, IntervalNegativeKeepsOneAndTextReadsAsZero) {
  EXPECT_EQ(Interval("-2"), 1);
  EXPECT_EQ(Interval("abc"), 0);
  EXPECT_EQ(Interval("0"), 0);
  EXPECT_EQ(Interval("60"), 60);
  EXPECT_EQ(Interval(""), 5);
  // 2147483648 wraps to a negative value, which keeps the built-in one.
  EXPECT_EQ(Interval("2147483648"), 1);
  EXPECT_EQ(Interval("4294967303"), 7);  // wraps
}

TEST_F(Settings, ThresholdsZeroSwitchOffAndNegativeStayFive) {
  Write(L"config.ini", "[threshold]\r\nping=0\r\nDEVICEMANAGER=0\r\n");
  MonitorSettings off = Load();
  EXPECT_EQ(off.pingThreshold, 0);
  EXPECT_EQ(off.deviceThreshold, 0);
  Write(L"config.ini", "[Threshold]\r\nPing=-1\r\nDeviceManager=-7\r\n");
  MonitorSettings negative = Load();
  EXPECT_EQ(negative.pingThreshold, 5);
  EXPECT_EQ(negative.deviceThreshold, 5);
  Write(L"config.ini", "[Threshold]\r\nPing=3\r\nDeviceManager=12\r\n");
  MonitorSettings set = Load();
  EXPECT_EQ(set.pingThreshold, 3);
  EXPECT_EQ(set.deviceThreshold, 12);
}

TEST_F(Settings, MailSendOutsideZeroToTenMeansNoLimit) {
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"0", 0}, {"1", 1}, {"10", 10}, {"11", 99}, {"50", 99}, {"99", 99}, {"-1", 99}, {"abc", 0}};
  for (const auto& [value, expected] : cases) {
    Write(L"mail.ini", std::string("[Config]\r\nMailSend=") + value + "\r\n");
    EXPECT_EQ(Load().mailSendLimit, expected) << "MailSend=" << value;
  }
}

TEST_F(Settings, PomvexAboveZeroSwitchesTheScreenAlertOn) {
  const std::pair<const char*, bool> cases[] = {{"0", false}, {"-1", false}, {"2", true},
                                                {"1", true},  {"abc", false}, {"", true}};
  for (const auto& [value, expected] : cases) {
    Write(L"message.ini", std::string("[Config]\r\nPomvex=") + value + "\r\n");
    EXPECT_EQ(Load().screenAlertEnabled, expected) << "Pomvex=" << value;
  }
}

TEST_F(Settings, RelativeLogDirLiesBelowTheExecutableDirectoryWithItsLevelsAndDots) {
  Write(L"config.ini", "[Config]\r\nLogDir=a/b\r\n");
  EXPECT_EQ(Load().logDirectory, JoinPath(dir_.Path(), L"a/b"));
  Write(L"config.ini", "[Config]\r\nLogDir=..\\logs\r\n");
  EXPECT_EQ(Load().logDirectory, JoinPath(dir_.Path(), L"..\\logs"));
  Write(L"config.ini", "[Config]\r\nLogDir=\r\n");
  EXPECT_EQ(Load().logDirectory, JoinPath(dir_.Path(), L""));
}

TEST_F(Settings, MetricsTextfileDirIsOffWhenMissingOrEmptyAndRelativeToTheExecutable) {
  EXPECT_EQ(Load().metricsDirectory, L"");
  Write(L"config.ini", "[Metrics]\r\nTextfileDir=\r\n");
  EXPECT_EQ(Load().metricsDirectory, L"");
  Write(L"config.ini", "[metrics]\r\ntextfiledir = prom\r\n");
  EXPECT_EQ(Load().metricsDirectory, JoinPath(dir_.Path(), L"prom"));
  // An absolute path is used as given.
  const std::wstring absolute = JoinPath(dir_.Path(), L"textfile");
  Write(L"config.ini", "[Metrics]\r\nTextfileDir=" + WideToUtf8(absolute) + "\r\n");
  EXPECT_EQ(Load().metricsDirectory, absolute);
}

TEST_F(Settings, AbsoluteLogDirIsUsedAsGiven) {
  const std::wstring elsewhere = dir_.File(L"elsewhere");  // absolute on both platforms
  Write(L"config.ini", "[Config]\r\nLogDir=" + WideToUtf8(elsewhere) + "\r\n");
  EXPECT_EQ(Load().logDirectory, elsewhere);
}

TEST(ResolveConfiguredDirectory, AbsoluteIsWhatThePlatformCallsAbsolute) {
  const bool windows = kPathSeparator == L'\\';
  const std::wstring exe = windows ? L"C:\\prog" : L"/opt/prog";
  const auto resolved = [&](const wchar_t* value) { return ResolveConfiguredDirectory(exe, value); };
  // Drive and UNC paths on Windows; a leading slash on Linux.
  EXPECT_EQ(resolved(L"C:\\qvlogs"), windows ? L"C:\\qvlogs" : JoinPath(exe, L"C:\\qvlogs"));
  const std::wstring unc = L"\\\\srv\\share\\logs";
  EXPECT_EQ(resolved(unc.c_str()), windows ? unc : JoinPath(exe, unc));
  EXPECT_EQ(resolved(L"/var/log/x"), windows ? JoinPath(exe, L"/var/log/x") : L"/var/log/x");
  EXPECT_EQ(resolved(L"log"), JoinPath(exe, L"log"));
}

TEST_F(Settings, EmptyExecutableDirectoryLeavesALoneSeparator) {
  MonitorSettings s;
  LoadSettings(s, L"");
  EXPECT_EQ(s.exeDirectory, L"");
  EXPECT_EQ(s.logDirectory, JoinPath(L"", L"log"));
  EXPECT_EQ(s.logDirectory.size(), 4u);
}

TEST_F(Settings, ServerSectionsWithAnEmptyServerAreDropped) {
  Write(L"quorvanex.ini",
        "[Config]\r\nHardware=PCI\\VEN_8086&DEV_15B8\\3&11583659\r\nCount=3\r\n"
        "[Quorvanex_1]\r\nServer=127.0.0.1\r\nDisplay=first\r\nUsername=u\r\nPassword=p\r\nPort=5000\r\n"
        "Hardware=USB\\VID_046D\r\nProductID=C52B\r\nVendorID=046D\r\nEnabled=0\r\n"
        "[Quorvanex_2]\r\nServer=\r\nDisplay=dropped\r\n"
        "[Quorvanex_3]\r\nServer=127.0.0.2\r\nDisplay=\r\nEnabled=2\r\n");
  MonitorSettings s = Load();
  EXPECT_EQ(s.hardwarePattern, L"PCI\\\\VEN_8086&DEV_15B8\\\\3&11583659");
  ASSERT_EQ(s.servers.size(), 2u);
  const QuorvanexServerInfo& a = s.servers[0];
  EXPECT_EQ(a.index, 0);
  EXPECT_FALSE(a.enabled);
  EXPECT_EQ(a.server, L"127.0.0.1");
  EXPECT_EQ(a.display, L"first");
  EXPECT_EQ(a.username, L"u");
  EXPECT_EQ(a.password, L"p");
  EXPECT_EQ(a.port, 5000);
  EXPECT_EQ(a.hardware, L"USB\\\\VID_046D");
  EXPECT_EQ(a.productId, L"C52B");
  EXPECT_EQ(a.vendorId, L"046D");
  const QuorvanexServerInfo& b = s.servers[1];
  EXPECT_EQ(b.index, 2);
  EXPECT_TRUE(b.enabled);
  EXPECT_EQ(b.server, L"127.0.0.2");
  EXPECT_EQ(b.display, L"127.0.0.2");  // empty Display
  EXPECT_EQ(b.port, 4003);
  EXPECT_TRUE(b.hardware.empty());
}

TEST_F(Settings, MissingDisplayAndEnabledTakeServerAndTrue) {
  Write(L"quorvanex.ini", "[Config]\r\nCount=1\r\n[quorvanex_1]\r\nserver = 127.0.0.9 \r\nPort=x\r\n");
  MonitorSettings s = Load();
  ASSERT_EQ(s.servers.size(), 1u);
  EXPECT_TRUE(s.servers[0].enabled);
  EXPECT_EQ(s.servers[0].display, L"127.0.0.9");
  EXPECT_EQ(s.servers[0].port, 0);  // not a number
}

TEST_F(Settings, OnlySectionsOneToCountInAscendingOrder) {
  Write(L"quorvanex.ini",
        "[Quorvanex_3]\r\nServer=127.0.0.3\r\n"
        "[Quorvanex_1]\r\nServer=127.0.0.1\r\n"
        "[Quorvanex_4]\r\nServer=127.0.0.4\r\n"
        "[Quorvanex_0]\r\nServer=127.0.0.10\r\n"
        "[Quorvanex_02]\r\nServer=127.0.0.12\r\n"
        "[Quorvanex_+2]\r\nServer=127.0.0.22\r\n"
        "[Quorvanex_1]\r\nServer=127.0.0.11\r\n"
        "[Config]\r\nCount=3\r\n");
  MonitorSettings s = Load();
  ASSERT_EQ(s.servers.size(), 2u);
  EXPECT_EQ(s.servers[0].server, L"127.0.0.1");  // the first [Quorvanex_1] only
  EXPECT_EQ(s.servers[0].index, 0);
  EXPECT_EQ(s.servers[1].server, L"127.0.0.3");
  EXPECT_EQ(s.servers[1].index, 2);
}

TEST_F(Settings, CountZeroNegativeOrTextMeansNoServers) {
  for (const char* count : {"0", "-1", "abc", "-2147483648"}) {
    Write(L"quorvanex.ini", std::string("[Config]\r\nCount=") + count + "\r\n[Quorvanex_1]\r\nServer=127.0.0.1\r\n");
    EXPECT_TRUE(Load().servers.empty()) << "Count=" << count;
  }
}

// A loop from 1 to Count would make this take hours; only sections that exist
// are visited, so it takes as long as the file is short.
TEST_F(Settings, HugeCountVisitsOnlyTheSectionsThatExist) {
  Write(L"quorvanex.ini",
        "[Config]\r\nCount=2147483647\r\n"
        "[Quorvanex_2147483647]\r\nServer=127.0.0.3\r\n"
        "[Quorvanex_2147483648]\r\nServer=127.0.0.4\r\n"
        "[Quorvanex_99999999999]\r\nServer=127.0.0.5\r\n"
        "[Quorvanex_7]\r\nServer=127.0.0.2\r\n"
        "[QUORVANEX_1]\r\nServer=127.0.0.1\r\n");
  MonitorSettings s = Load();
  ASSERT_EQ(s.servers.size(), 3u);
  EXPECT_EQ(s.servers[0].index, 0);
  EXPECT_EQ(s.servers[1].index, 6);
  EXPECT_EQ(s.servers[2].index, 2147483646);
  EXPECT_EQ(s.servers[2].server, L"127.0.0.3");
}

TEST_F(Settings, AThousandServerSectionsAreAllRead) {
  std::string ini = "[Config]\r\nCount=1000\r\n";
  for (int n = 1000; n >= 1; --n) {
    ini += "[Quorvanex_" + std::to_string(n) + "]\r\nServer=127.0.0." + std::to_string(n % 250 + 1) + "\r\n";
  }
  Write(L"quorvanex.ini", ini);
  MonitorSettings s = Load();
  ASSERT_EQ(s.servers.size(), 1000u);
  for (std::size_t i = 0; i < s.servers.size(); ++i) ASSERT_EQ(s.servers[i].index, static_cast<std::int32_t>(i));
  EXPECT_EQ(s.servers[999].server, L"127.0.0.1");
}

TEST_F(Settings, StringsAreCutAt1023CharactersBeforeDoubling) {
  Write(L"quorvanex.ini", "[Config]\r\nHardware=" + std::string(1022, 'a') + "\\\\\\\r\nCount=1\r\n" +
                              "[Quorvanex_1]\r\nServer=" + std::string(1100, '1') + "\r\n");
  MonitorSettings s = Load();
  EXPECT_EQ(s.hardwarePattern, std::wstring(1022, L'a') + L"\\\\");
  ASSERT_EQ(s.servers.size(), 1u);
  EXPECT_EQ(s.servers[0].server.size(), 1023u);
}

// Bad input: the defaults apply to what cannot be read, and nothing crashes.
TEST_F(Settings, BinaryJunkGivesTheDefaults) {
  std::mt19937 random(1207);
  for (const wchar_t* name : {L"config.ini", L"quorvanex.ini", L"mail.ini", L"message.ini"}) {
    std::string junk(65536, '\0');
    for (char& b : junk) b = static_cast<char>(random() & 0xFF);
    junk[0] = 'x';  // not a UTF-16 byte order mark
    Write(name, junk);
  }
  ExpectDefaults(Load(), dir_.Path());
  // Junk before a section does not hide it.
  std::string junk(4096, '\0');
  for (char& b : junk) b = static_cast<char>(random() & 0xFF);
  junk[0] = 'x';
  Write(L"config.ini", junk + "\r\n[Config]\r\nInterval=7\r\n");
  EXPECT_EQ(Load().intervalMinutes, 7);
}

TEST_F(Settings, NulBytesEndAValueButNotTheFile) {
  static const char bytes[] = "[Config]\r\nLogDir=lo\0gs\r\n\0\0\0\r\nInterval=\0" "9\r\n[Threshold]\r\nPing=3\r\n";
  Write(L"config.ini", std::string(bytes, sizeof bytes - 1));
  MonitorSettings s = Load();
  EXPECT_EQ(s.logDirectory, JoinPath(dir_.Path(), L"lo"));
  EXPECT_EQ(s.intervalMinutes, 5);  // nothing before the NUL: the default
  EXPECT_EQ(s.pingThreshold, 3);
}

TEST_F(Settings, AOneMebibyteLineIsCutAndTheRestStillRead) {
  Write(L"config.ini", "[Config]\r\nLogDir=" + std::string(1 << 20, 'x') + "\r\nJunk=" +
                           std::string(1 << 20, ';') + "\r\nInterval=" + std::string(1 << 20, '5') +
                           "\r\n[Threshold]\r\nPing=4");  // and no final newline
  MonitorSettings s = Load();
  EXPECT_EQ(s.logDirectory, JoinPath(dir_.Path(), std::wstring(1023, L'x')));
  // Only the first 29 digits are read: 5...5 (29) mod 2^32.
  EXPECT_EQ(s.intervalMinutes, 59652323);
  EXPECT_EQ(s.pingThreshold, 4);
}

TEST_F(Settings, AnUnreadableFileGivesTheDefaults) {
  for (const wchar_t* name : {L"config.ini", L"quorvanex.ini", L"mail.ini", L"message.ini"}) {
    std::filesystem::create_directory(std::filesystem::path(dir_.File(name)));
  }
  ExpectDefaults(Load(), dir_.Path());
}

TEST_F(Settings, LoadingTwiceAppendsNothingTwice) {
  Write(L"quorvanex.ini", "[Config]\r\nCount=1\r\n[Quorvanex_1]\r\nServer=127.0.0.1\r\n");
  MonitorSettings s;
  LoadSettings(s, dir_.Path());
  LoadSettings(s, dir_.Path());
  EXPECT_EQ(s.servers.size(), 1u);
}

}  // namespace
}  // namespace qv
