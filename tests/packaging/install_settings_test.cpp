#include "packaging/windows/install_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/profile.h"
#include "common/system.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

using test::TempDir;

// The message for one bad value, or "" when the value passes.
std::wstring Problem(const std::wstring& name, const std::wstring& value) {
  const auto problems = CheckInstallProperties({{name, value}});
  return problems.empty() ? L"" : problems.front();
}

TEST(InstallPropertyCheck, NumbersAreWholeDecimalsWithinThe32BitRange) {
  for (const wchar_t* name : {L"INTERVAL", L"PING_THRESHOLD", L"DEVICE_THRESHOLD"}) {
    for (const wchar_t* good : {L"0", L"5", L"007", L"2147483647"}) {
      EXPECT_EQ(Problem(name, good), L"") << name << "=" << good;
    }
    for (const wchar_t* bad : {L"abc", L"5x", L"-1", L"+5", L" 5", L"5 ", L"1.5", L"2147483648", L"99999999999"}) {
      EXPECT_NE(Problem(name, bad), L"") << name << "=" << bad;
    }
  }
}

TEST(InstallPropertyCheck, MailSendTakesTheValuesThatMeanWhatTheySay) {
  for (const wchar_t* good : {L"0", L"1", L"10", L"99"}) EXPECT_EQ(Problem(L"MAILSEND", good), L"") << good;
  // 11 to 98 would silently mean "no limit": refused rather than guessed.
  for (const wchar_t* bad : {L"11", L"50", L"100", L"-1", L"yes"}) EXPECT_NE(Problem(L"MAILSEND", bad), L"") << bad;
}

TEST(InstallPropertyCheck, ServersAreDottedDecimalAddressesSeparatedByCommaOrSemicolon) {
  for (const wchar_t* good : {L"10.0.0.5", L"10.0.0.5,10.0.0.6", L"10.0.0.5; 10.0.0.6 ,192.168.1.1"}) {
    EXPECT_EQ(Problem(L"SERVERS", good), L"") << good;
  }
  for (const wchar_t* bad : {L"10.0.0.300", L"10.0.0", L"host.example", L"10.0.0.5,,10.0.0.6", L"10.0.0.5,",
                             L"010.0.0.5", L"10.0.0.5 10.0.0.6"}) {
    EXPECT_NE(Problem(L"SERVERS", bad), L"") << bad;
  }
}

TEST(InstallPropertyCheck, HardwareMustReadBackAsGivenAndStayInsideTheQuery) {
  EXPECT_EQ(Problem(L"HARDWARE", L"USB\\VID_1234&PID_5678"), L"");
  EXPECT_EQ(Problem(L"HARDWARE", std::wstring(1023, L'A')), L"");
  EXPECT_NE(Problem(L"HARDWARE", std::wstring(1024, L'A')), L"");
  for (const wchar_t* bad : {L" USB\\VID", L"USB\\VID ", L"\"USB\\VID\"", L"'USB'", L"USB\tVID", L"USB\nVID",
                             L"USB\\VID_1234' or DeviceID like '"}) {
    EXPECT_NE(Problem(L"HARDWARE", bad), L"") << bad;
  }
}

TEST(InstallPropertyCheck, MetricsDirIsAFolderWindowsAcceptsThatReadsBackAsGiven) {
  for (const wchar_t* good : {L"C:\\Program Files\\windows_exporter\\textfile_inputs", L"..\\Bob's m", L"\\\\srv\\m"}) {
    EXPECT_EQ(Problem(L"METRICS_DIR", good), L"") << good;
  }
  EXPECT_EQ(Problem(L"METRICS_DIR", std::wstring(226, L'm')), L"");
  for (const wchar_t* bad : {L"C:\\a\"b", L"a<b", L"a|b", L"a*", L"a?", L" m", L"m ", L"'m'", L"m\tx"}) {
    EXPECT_NE(Problem(L"METRICS_DIR", bad), L"") << bad;
  }
}

TEST(InstallPropertyCheck, ARefusalSaysWhatIsWrongOnOneLine) {
  const struct { const wchar_t* name; std::wstring value; const wchar_t* said; } cases[] = {
      {L"SERVERS", L"127.0.0.2, 127.0.0.300", L"entry 2 \"127.0.0.300\" is not an IPv4 address"},
      {L"SERVERS", L"x;10.0.0.5;;", L"entry 1 \"x\" is not an IPv4 address, entry 3 is empty, entry 4 is empty"},
      {L"HARDWARE", L"USB\\VID_1234'", L"a single quote would end the text of the device query"},
      {L"HARDWARE", L"USB\nVID", L"HARDWARE=\"USB<U+000A>VID\" is not valid: it holds a control character"},
      {L"METRICS_DIR", L"C:\\a|b", L"Windows allows no"},
      {L"METRICS_DIR", std::wstring(227, L'm'), L"it is 227 characters long"}};
  for (const auto& c : cases) {
    const std::wstring problem = Problem(c.name, c.value);
    EXPECT_NE(problem.find(c.said), std::wstring::npos) << problem;
    EXPECT_EQ(problem.find_first_of(L"\r\n"), std::wstring::npos) << problem;
  }
}

TEST(InstallPropertyCheck, EveryBadValueIsNamedWithItsRuleAndAbsentOnesPass) {
  EXPECT_TRUE(CheckInstallProperties({}).empty());
  const auto problems = CheckInstallProperties({{L"INTERVAL", L"-5"}, {L"MAILSEND", L"abc"}, {L"HARDWARE", L"ok"}});
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_NE(problems[0].find(L"INTERVAL=\"-5\" is not valid"), std::wstring::npos) << problems[0];
  EXPECT_NE(problems[0].find(L"0 to 2147483647"), std::wstring::npos) << problems[0];
  EXPECT_NE(problems[1].find(L"MAILSEND=\"abc\""), std::wstring::npos) << problems[1];
}

class InstallPropertyApply : public testing::Test {
 protected:
  std::wstring Path(const wchar_t* name) { return dir.File(name); }
  std::wstring Read(const wchar_t* file, const wchar_t* section, const wchar_t* key) {
    return ProfileReader(Path(file)).GetString(section, key, L"(missing)");
  }
  TempDir dir;
};

TEST_F(InstallPropertyApply, GivenValuesReachTheirKeysAndEverythingElseStays) {
  test::WriteBytes(Path(L"config.ini"),
                   "; minutes\r\n[Config]\r\nInterval=5\r\nLogDir=log\r\n[Threshold]\r\nPing=0\r\nDeviceManager=0\r\n");
  test::WriteBytes(Path(L"mail.ini"), "[Config]\r\nMailSend=0\r\nPassword=secret\r\n");
  test::WriteBytes(Path(L"quorvanex.ini"), "[Config]\r\nHardware=\r\nCount=0\r\n");
  ApplyInstallProperties(dir.Path(), {{L"INTERVAL", L"007"},
                                      {L"PING_THRESHOLD", L"3"},
                                      {L"DEVICE_THRESHOLD", L"4"},
                                      {L"MAILSEND", L"99"},
                                      {L"HARDWARE", L"USB\\VID_1234&PID_5678"}});
  EXPECT_EQ(Read(L"config.ini", L"Config", L"Interval"), L"7");
  EXPECT_EQ(Read(L"config.ini", L"Threshold", L"Ping"), L"3");
  EXPECT_EQ(Read(L"config.ini", L"Threshold", L"DeviceManager"), L"4");
  EXPECT_EQ(Read(L"config.ini", L"Config", L"LogDir"), L"log");
  EXPECT_EQ(Read(L"mail.ini", L"Config", L"MailSend"), L"99");
  EXPECT_EQ(Read(L"mail.ini", L"Config", L"Password"), L"secret");
  // Written as given: the Monitor doubles the backslash when it reads it.
  EXPECT_EQ(Read(L"quorvanex.ini", L"Config", L"Hardware"), L"USB\\VID_1234&PID_5678");
  EXPECT_NE(test::ReadBytes(Path(L"config.ini")).find("; minutes"), std::string::npos);
}

TEST_F(InstallPropertyApply, AbsentAndBadPropertiesLeaveTheFilesUntouched) {
  const std::string config = "[Config]\r\nInterval=9\r\n";
  test::WriteBytes(Path(L"config.ini"), config);
  EXPECT_TRUE(ApplyInstallProperties(dir.Path(), {}).written.empty());
  EXPECT_TRUE(ApplyInstallProperties(dir.Path(), {{L"INTERVAL", L"-1"}, {L"PING_THRESHOLD", L"x"}}).written.empty());
  ApplyInstallProperties(dir.Path(), {{L"MAILSEND", L"1"}});
  EXPECT_EQ(test::ReadBytes(Path(L"config.ini")), config);
  EXPECT_FALSE(PathExists(Path(L"quorvanex.ini")));
}

TEST_F(InstallPropertyApply, ServersReplaceTheListAndAnUnchangedAddressKeepsItsSection) {
  test::WriteBytes(Path(L"quorvanex.ini"),
                   "[Config]\r\nCount=3\r\n"
                   "[Quorvanex_1]\r\nEnabled=0\r\nServer=10.0.0.1\r\nDisplay=hall\r\n"
                   "[Quorvanex_2]\r\nEnabled=0\r\nServer=10.0.0.2\r\nDisplay=old name\r\n"
                   "[Quorvanex_3]\r\nServer=10.0.0.3\r\n");
  ApplyInstallProperties(dir.Path(), {{L"SERVERS", L" 10.0.0.1 ; 10.0.0.9"}});
  EXPECT_EQ(Read(L"quorvanex.ini", L"Config", L"Count"), L"2");
  // Same address: the administrator's switch and name stay.
  EXPECT_EQ(Read(L"quorvanex.ini", L"Quorvanex_1", L"Enabled"), L"0");
  EXPECT_EQ(Read(L"quorvanex.ini", L"Quorvanex_1", L"Display"), L"hall");
  // New address: switched on, and named by its address again.
  EXPECT_EQ(Read(L"quorvanex.ini", L"Quorvanex_2", L"Server"), L"10.0.0.9");
  EXPECT_EQ(Read(L"quorvanex.ini", L"Quorvanex_2", L"Enabled"), L"1");
  EXPECT_EQ(Read(L"quorvanex.ini", L"Quorvanex_2", L"Display"), L"");
}

TEST_F(InstallPropertyApply, AMetricsFolderThatDoesNotExistYetIsNotedAndStillWritten) {
  MakeDirectory(Path(L"metrics"));
  for (const std::wstring& value : {std::wstring(L"metrics"), Path(L"metrics"), std::wstring(L"later"), Path(L"later")}) {
    const InstallWrites writes = ApplyInstallProperties(dir.Path(), {{L"METRICS_DIR", value}});
    EXPECT_EQ(Read(L"config.ini", L"Metrics", L"TextfileDir"), value);
    EXPECT_EQ(writes.notes.size(), value.find(L"later") != std::wstring::npos ? 1u : 0u) << value;
  }
}

TEST_F(InstallPropertyApply, AKeyThatCannotBeWrittenIsReportedAndTheOthersAreWritten) {
  // A folder where config.ini should be: no write can reach it.
  std::filesystem::create_directory(std::filesystem::path(Path(L"config.ini")));
  const InstallWrites writes =
      ApplyInstallProperties(dir.Path(), {{L"INTERVAL", L"7"}, {L"MAILSEND", L"2"}, {L"SERVERS", L"10.0.0.5"}});
  EXPECT_EQ(writes.failed, std::vector<std::wstring>{L"config.ini Config.Interval"});
  EXPECT_EQ(writes.written, (std::vector<std::wstring>{L"quorvanex.ini Quorvanex_1.Server=10.0.0.5",
                                                       L"quorvanex.ini Config.Count=1",
                                                       L"mail.ini Config.MailSend=2"}));
}

TEST(InstallData, RoundTripsValuesWithSeparatorsInThem) {
  const InstallProperties given = {{L"INSTALLDIR", L"C:\\Program Files\\Quorvanex\\"},
                                   {L"HARDWARE", L"USB\\VID_1234&PID_5678=x;y"},
                                   {L"SERVERS", L"10.0.0.5,10.0.0.6"}};
  EXPECT_EQ(DecodeInstallData(EncodeInstallData(given)), given);
  EXPECT_TRUE(DecodeInstallData(L"").empty());
}

}  // namespace
}  // namespace qv
