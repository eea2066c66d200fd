// The INI set that both packages install (packaging/defaults, copied beside
// this test binary by the build).
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "common/files.h"
#include "common/profile.h"
#include "common/system.h"
#include "common/text_util.h"
#include "monitor/settings.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

std::wstring DefaultsDirectory() { return JoinPath(ExecutableDirectory(), L"packaging_defaults"); }

TEST(InstalledDefaults, AreQuietUntilConfigured) {
  MonitorSettings s;
  LoadSettings(s, DefaultsDirectory());
  EXPECT_EQ(s.intervalMinutes, 5);
  EXPECT_EQ(s.pingThreshold, 0);
  EXPECT_EQ(s.deviceThreshold, 0);
  EXPECT_EQ(s.mailSendLimit, 0u);
  EXPECT_TRUE(s.servers.empty());
  EXPECT_EQ(s.hardwarePattern, L"");
  EXPECT_EQ(s.logDirectory, JoinPath(DefaultsDirectory(), L"log"));
  // The Windows set writes no metrics file; the Linux package sets its own.
  EXPECT_EQ(s.metricsDirectory, L"");
}

// An administrator reading a file learns what each key does from the line
// above it.
TEST(InstalledDefaults, EveryKeyHasACommentAboveIt) {
  for (const wchar_t* name : {L"config.ini", L"quorvanex.ini", L"mail.ini", L"message.ini"}) {
    const auto bytes = ReadWholeFile(JoinPath(DefaultsDirectory(), name));
    ASSERT_TRUE(bytes.has_value()) << WideToUtf8(name);
    std::istringstream lines(*bytes);
    std::string line;
    std::string previous;
    int keys = 0;
    while (std::getline(lines, line)) {
      if (line.empty() || line.back() != '\r') {
        ADD_FAILURE() << "line without CR LF: " << line;
      } else {
        line.pop_back();
      }
      const bool isKey = !line.empty() && line[0] != ';' && line[0] != '[';
      if (isKey) {
        ++keys;
        EXPECT_EQ(previous.rfind(';', 0), 0u) << "no comment above " << line;
      }
      previous = line;
    }
    EXPECT_GT(keys, 0);
  }
}

TEST(InstalledDefaults, MailIniListsEveryKeyOfTheMailerWithMailOff) {
  const ProfileReader mail(JoinPath(DefaultsDirectory(), L"mail.ini"));
  EXPECT_EQ(mail.GetString(L"Config", L"MailSend", L"(missing)"), L"0");
  for (const wchar_t* key : {L"SmtpServer", L"SmtpPort", L"Security", L"User", L"Password", L"From", L"To", L"Cc",
                             L"Subject", L"TimeoutSeconds", L"CaFile", L"VerifyCertificate",
                             L"AllowPlainTextPassword"}) {
    EXPECT_NE(mail.GetString(L"Config", key, L"(missing)"), L"(missing)") << WideToUtf8(key);
  }
  // Body belongs to the Monitor's copy: only described here.
  EXPECT_EQ(mail.GetString(L"Config", L"Body", L"(missing)"), L"(missing)");
  EXPECT_NE(ReadWholeFile(JoinPath(DefaultsDirectory(), L"mail.ini"))->find("; Body:"), std::string::npos);
}

}  // namespace
}  // namespace qv
