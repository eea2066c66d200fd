#include "configurator/configurator_settings.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/ini_file.h"
#include "common/profile.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

std::wstring Value(const test::TempDir& dir, const wchar_t* file, const wchar_t* section,
                   const wchar_t* key) {
  return ProfileReader(dir.File(file)).GetString(section, key, L"<missing>");
}

ConfiguratorSettings Loaded(const test::TempDir& dir) {
  ConfiguratorSettings s;
  LoadDialogSettings(s, dir.Path());
  return s;
}

TEST(ConfiguratorSettings, WithoutConfigIniShowsFivesAndSavingCreatesExactlyThoseKeys) {
  test::TempDir dir;
  ConfiguratorSettings s = Loaded(dir);
  EXPECT_EQ(s.exeDirectory, dir.Path());
  EXPECT_EQ(s.intervalMinutes, 5);
  EXPECT_EQ(s.pingThreshold, 5);
  EXPECT_EQ(s.deviceThreshold, 5);
  EXPECT_EQ(s.mailSelection, 0);
  EXPECT_TRUE(s.servers.empty());

  EXPECT_TRUE(SaveDialogSettings(s));
  IniFile written = IniFile::Parse(test::ReadBytes(dir.File(L"config.ini")));
  EXPECT_EQ(written.SectionNames(), (std::vector<std::wstring>{L"Config", L"Threshold"}));
  EXPECT_EQ(written.Find(L"Config", L"Interval"), L"5");
  EXPECT_EQ(written.Find(L"Threshold", L"Ping"), L"5");
  EXPECT_EQ(written.Find(L"Threshold", L"DeviceManager"), L"5");
  const std::string bytes = test::ReadBytes(dir.File(L"config.ini"));
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '='), 3) << bytes;
  // Nothing to write for servers, and the other files are never touched.
  EXPECT_EQ(test::ReadBytes(dir.File(L"quorvanex.ini")), "");
  EXPECT_EQ(test::ReadBytes(dir.File(L"mail.ini")), "");
}

TEST(ConfiguratorSettings, NegativeNumbersKeepTheInitialValuesAndZeroIsTaken) {
  test::TempDir dir;
  test::WriteBytes(dir.File(L"config.ini"),
                   "[Config]\r\nInterval=-2\r\n[Threshold]\r\nPing=0\r\nDeviceManager=-1\r\n");
  ConfiguratorSettings s = Loaded(dir);
  EXPECT_EQ(s.intervalMinutes, 1);
  EXPECT_EQ(s.pingThreshold, 0);
  EXPECT_EQ(s.deviceThreshold, 5);

  test::WriteBytes(dir.File(L"config.ini"),
                   "[Config]\r\nInterval=abc\r\n[Threshold]\r\nPing=3000000000\r\nDeviceManager=12\r\n");
  s = Loaded(dir);
  EXPECT_EQ(s.intervalMinutes, 0);  // not a number reads as 0 and is accepted
  EXPECT_EQ(s.pingThreshold, 5);    // wraps to a negative number: kept
  EXPECT_EQ(s.deviceThreshold, 12);
}

TEST(ConfiguratorSettings, SkippedSectionKeepsItsNumberAndSavingWritesOnlyEnabled) {
  test::TempDir dir;
  const std::string original =
      "; maintained by hand\r\n"
      "[Config]\r\nHardware=USB\\VID_1\r\nCount=3\r\n"
      "[Quorvanex_1]\r\nServer=127.0.0.1\r\nEnabled=7\r\nUsername=u\r\nPassword=p\r\nPort=9\r\n"
      "Hardware=PCI\\X\r\n"
      "[Quorvanex_2]\r\nDisplay=nobody\r\nEnabled=0\r\n"
      "[Quorvanex_3]\r\nServer=127.0.0.3\r\nDisplay=third\r\nEnabled=0\r\nProductID=P\r\n";
  test::WriteBytes(dir.File(L"quorvanex.ini"), original);

  ConfiguratorSettings s = Loaded(dir);
  ASSERT_EQ(s.servers.size(), 2u);
  EXPECT_EQ(s.servers[0].index, 0);
  EXPECT_TRUE(s.servers[0].enabled);
  EXPECT_EQ(s.servers[0].display, L"127.0.0.1");  // no Display: the address
  EXPECT_EQ(s.servers[0].hardware, L"PCI\\X");    // not doubled
  EXPECT_EQ(s.servers[0].port, 9);
  EXPECT_EQ(s.servers[1].index, 2);
  EXPECT_FALSE(s.servers[1].enabled);
  EXPECT_EQ(s.servers[1].display, L"third");

  s.servers[1].enabled = true;
  EXPECT_TRUE(SaveDialogSettings(s));
  EXPECT_EQ(Value(dir, L"quorvanex.ini", L"Quorvanex_1", L"Enabled"), L"1");  // was 7
  EXPECT_EQ(Value(dir, L"quorvanex.ini", L"Quorvanex_2", L"Enabled"), L"0");  // untouched
  EXPECT_EQ(Value(dir, L"quorvanex.ini", L"Quorvanex_3", L"Enabled"), L"1");

  // Every other key, and the comment, as it was.
  IniFile before = IniFile::Parse(original);
  IniFile after = IniFile::Parse(test::ReadBytes(dir.File(L"quorvanex.ini")));
  EXPECT_EQ(after.SectionNames(), before.SectionNames());
  for (const wchar_t* section : {L"Config", L"Quorvanex_1", L"Quorvanex_2", L"Quorvanex_3"}) {
    for (const wchar_t* key : {L"Hardware", L"Count", L"Server", L"Username", L"Password", L"Port",
                               L"Display", L"ProductID", L"VendorID"}) {
      EXPECT_EQ(after.Find(section, key), before.Find(section, key)) << section << L" " << key;
    }
  }
  EXPECT_NE(test::ReadBytes(dir.File(L"quorvanex.ini")).find("; maintained by hand"),
            std::string::npos);
  EXPECT_EQ(after.Find(L"Quorvanex_2", L"Enabled"), L"0");
}

TEST(ConfiguratorSettings, MailSendMapsToTheSelectorItem) {
  const struct {
    const char* value;
    std::int32_t selection;
  } cases[] = {{"0", 0}, {"5", 5}, {"10", 10}, {"99", 99}, {"11", 0}, {"-1", 0}, {"100", 0}};
  for (const auto& c : cases) {
    test::TempDir dir;
    test::WriteBytes(dir.File(L"mail.ini"), std::string("[Config]\r\nMailSend=") + c.value + "\r\n");
    EXPECT_EQ(Loaded(dir).mailSelection, c.selection) << c.value;
  }
}

TEST(ConfiguratorSettings, CountZeroGivesNoServersAndSavingLeavesQuorvanexIniAlone) {
  test::TempDir dir;
  const std::string original = "[Config]\r\nCount=0\r\n[Quorvanex_1]\r\nServer=127.0.0.1\r\nEnabled=0\r\n";
  test::WriteBytes(dir.File(L"quorvanex.ini"), original);
  ConfiguratorSettings s = Loaded(dir);
  EXPECT_TRUE(s.servers.empty());
  EXPECT_TRUE(SaveDialogSettings(s));
  EXPECT_EQ(test::ReadBytes(dir.File(L"quorvanex.ini")), original);
}

}  // namespace
}  // namespace qv
