#include "mailer/mail_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "common/codec.h"
#include "common/text_util.h"
#include "tests/support/test_support.h"

namespace qv::mailer {
namespace {

class MailSettingsFile : public ::testing::Test {
 protected:
  // `lines` (UTF-8, "\n"-separated) under [Config], stored as code page 932 with CR LF.
  SettingsResult Read(const std::string& lines) {
    std::wstring text = L"[Config]\r\n";
    for (wchar_t c : Utf8ToWide(lines)) {
      if (c == L'\n') text += L'\r';
      text += c;
    }
    test::WriteBytes(path_, EncodeCp932(text));
    return ReadMailSettings(path_, L"PC01");
  }
  MailSettings ReadOk(const std::string& lines) {
    SettingsResult r = Read(lines);
    EXPECT_TRUE(r.settings) << WideToUtf8(r.error);
    return r.settings.value_or(MailSettings{});
  }
  // The error for `lines` added to an otherwise complete file.
  std::string ErrorFor(const std::string& lines) {
    SettingsResult r = Read(lines + "\nSmtpServer=mail.test\nFrom=a@b.test\nTo=c@d.test\n");
    EXPECT_FALSE(r.settings) << lines;
    return WideToUtf8(r.error);
  }

  test::TempDir dir_;
  std::wstring path_ = dir_.File(L"mail_12345.ini");
};

TEST_F(MailSettingsFile, MinimalFileTakesTheDefaults) {
  MailSettings s = ReadOk("SmtpServer=mail.test\nFrom=a@b.test\nTo=c@d.test\n");
  EXPECT_EQ(s.server, L"mail.test");
  EXPECT_EQ(s.port, 587);
  EXPECT_EQ(s.security, Security::StartTls);
  EXPECT_TRUE(s.user.empty());
  EXPECT_TRUE(s.cc.empty());
  EXPECT_EQ(s.subject, L"Monitor alert: PC01");
  EXPECT_TRUE(s.body.empty());
  EXPECT_EQ(s.timeoutSeconds, 60);
  EXPECT_TRUE(s.caFile.empty());
  EXPECT_TRUE(s.verifyCertificate);
}

TEST_F(MailSettingsFile, PortDefaultFollowsSecurityAndAnExplicitPortWins) {
  const std::string base = "SmtpServer=m.test\nFrom=a@b.test\nTo=c@d.test\n";
  EXPECT_EQ(ReadOk("Security=tls\n" + base).port, 465);
  EXPECT_EQ(ReadOk("Security=TLS\n" + base).security, Security::Tls);
  EXPECT_EQ(ReadOk("Security=none\n" + base).port, 25);
  EXPECT_EQ(ReadOk("Security=StartTLS\n" + base).port, 587);
  EXPECT_EQ(ReadOk("Security=tls\nSmtpPort=2465\n" + base).port, 2465);
}

TEST_F(MailSettingsFile, TimeoutIsCappedBelowTheMonitorsWait) {
  const std::string base = "SmtpServer=m.test\nFrom=a@b.test\nTo=c@d.test\n";
  EXPECT_EQ(ReadOk("TimeoutSeconds=5\n" + base).timeoutSeconds, 5);
  EXPECT_EQ(ReadOk("TimeoutSeconds=280\n" + base).timeoutSeconds, 280);
  EXPECT_EQ(ReadOk("TimeoutSeconds=281\n" + base).timeoutSeconds, 280);
  EXPECT_EQ(ReadOk("TimeoutSeconds=999999999\n" + base).timeoutSeconds, 280);
}

TEST_F(MailSettingsFile, MissingRequiredKeysAreNamed) {
  EXPECT_NE(WideToUtf8(Read("From=a@b.test\nTo=c@d.test\n").error).find("SmtpServer"), std::string::npos);
  EXPECT_NE(WideToUtf8(Read("SmtpServer=m.test\nTo=c@d.test\n").error).find("From"), std::string::npos);
  EXPECT_NE(WideToUtf8(Read("SmtpServer=m.test\nFrom=a@b.test\nTo= ; ,\n").error).find("To"),
            std::string::npos);
  EXPECT_FALSE(ReadMailSettings(dir_.File(L"missing.ini"), L"PC01").settings);
}

TEST_F(MailSettingsFile, NumbersThatAreNotPlainDecimalsAreRefused) {
  for (const char* bad : {"SmtpPort=0", "SmtpPort=65536", "SmtpPort=25x", "SmtpPort=-25", "SmtpPort=0x19"}) {
    EXPECT_NE(ErrorFor(bad).find("SmtpPort"), std::string::npos) << bad;
  }
  for (const char* bad : {"TimeoutSeconds=0", "TimeoutSeconds=-1", "TimeoutSeconds=1m"}) {
    EXPECT_NE(ErrorFor(bad).find("TimeoutSeconds"), std::string::npos) << bad;
  }
  EXPECT_NE(ErrorFor("VerifyCertificate=no").find("VerifyCertificate"), std::string::npos);
  EXPECT_NE(ErrorFor("Security=ssl").find("Security"), std::string::npos);
}

TEST_F(MailSettingsFile, ServerMustBeAHostNotAUrl) {
  EXPECT_FALSE(ErrorFor("SmtpServer=smtp://m.test").empty());
  EXPECT_FALSE(ErrorFor("SmtpServer=m.test/x").empty());
  EXPECT_FALSE(ErrorFor("SmtpServer=user@m.test").empty());
  EXPECT_EQ(ReadOk("SmtpServer=::1\nFrom=a@b.test\nTo=c@d.test\n").server, L"::1");
}

TEST_F(MailSettingsFile, JapaneseValuesAndTheFirstKeyWin) {
  MailSettings s = ReadOk(
      "SmtpServer=first.test\nSmtpServer=second.test\nFrom=監視 <mon@b.test>\nTo=c@d.test\n"
      "Subject=警告 <name> / <name>\nBody=ping エラー\n");
  EXPECT_EQ(s.server, L"first.test");
  EXPECT_EQ(s.from.displayName, L"監視");
  EXPECT_EQ(s.from.address, L"mon@b.test");
  EXPECT_EQ(s.subject, L"警告 PC01 / PC01");
  EXPECT_EQ(s.body, L"ping エラー");
}

TEST_F(MailSettingsFile, ThePasswordGoesInClearTextOnlyWhereTheFileAllowsIt) {
  const std::pair<const char*, bool> cases[] = {  // lines, accepted
      {"Security=none\nUser=u\n", false},  {"Security=none\nUser=u\nAllowPlainTextPassword=1\n", true},
      {"Security=none\n", true},            {"User=u\nAllowPlainTextPassword=yes\n", false},
      {"User=u\n", true}};
  for (const auto& [lines, accepted] : cases) {
    const SettingsResult r = Read(std::string(lines) + "SmtpServer=m.test\nFrom=a@b.test\nTo=c@d.test\n");
    EXPECT_EQ(r.settings.has_value(), accepted) << lines;
    EXPECT_EQ(WideToUtf8(r.error).find("AllowPlainTextPassword") != std::string::npos, !accepted) << lines;
  }
}

TEST_F(MailSettingsFile, CaFileMustExist) {
  EXPECT_NE(ErrorFor("CaFile=" + WideToUtf8(dir_.File(L"none.pem"))).find("CaFile"), std::string::npos);
  test::WriteBytes(dir_.File(L"ca.pem"), "-----BEGIN CERTIFICATE-----\n");
  MailSettings s = ReadOk("CaFile=" + WideToUtf8(dir_.File(L"ca.pem")) +
                          "\nVerifyCertificate=0\nSmtpServer=m.test\nFrom=a@b.test\nTo=c@d.test\n");
  EXPECT_EQ(s.caFile, dir_.File(L"ca.pem"));
  EXPECT_FALSE(s.verifyCertificate);
}

TEST(MailboxList, SplitsOnCommaAndSemicolonAndSkipsBlanks) {
  auto list = ParseMailboxList(L" a@x.test ;Name <b@y.test>,, \"Q Name\" <c@z.test>; ");
  ASSERT_TRUE(list);
  ASSERT_EQ(list->size(), 3u);
  EXPECT_EQ((*list)[0].address, L"a@x.test");
  EXPECT_TRUE((*list)[0].displayName.empty());
  EXPECT_EQ((*list)[1].displayName, L"Name");
  EXPECT_EQ((*list)[1].address, L"b@y.test");
  EXPECT_EQ((*list)[2].displayName, L"Q Name");
  EXPECT_TRUE(ParseMailboxList(L"")->empty());
}

TEST(MailboxList, RefusesWhatIsNotAnAddress) {
  for (const wchar_t* bad : {L"plain", L"a@", L"@b.test", L"a b@c.test", L"a@@b.test", L"a..b@c.test",
                             L".a@c.test", L"a@c.test.", L"ユーザー@c.test", L"a@c.test, x", L"N <a@b.test",
                             L"\"q\"uote\" <a@b.test>"}) {
    EXPECT_FALSE(ParseMailboxList(bad)) << WideToUtf8(bad);
  }
  EXPECT_TRUE(ParseMailboxList(L"first.last+tag@sub.example.test"));
  // The longest address an SMTP path holds, and one more character.
  EXPECT_TRUE(ParseMailbox(std::wstring(245, L'a') + L"@b.test.x"));
  EXPECT_FALSE(ParseMailbox(std::wstring(246, L'a') + L"@b.test.x"));
}

}  // namespace
}  // namespace qv::mailer
