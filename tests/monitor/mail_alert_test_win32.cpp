// The per-mail copy of mail.ini holds the mail server's password; on Windows
// it must carry the protected DACL before the mailer sees it.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/file_security_win32.h"
#include "common/handles_win32.h"
#include "common/profile.h"
#include "common/system.h"
#include "common/text_util.h"
#include "monitor/alerts/mail_alert.h"
#include "monitor/settings.h"
#include "tests/support/fake_process_runner.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

using UniqueLocal = UniqueLocalMemory;

// The file's DACL in SDDL, as GetNamedSecurityInfoW reports it.
std::wstring DaclOf(const std::wstring& path) {
  PACL dacl = nullptr;
  UniqueLocal sd;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                            nullptr, sd.Receive()) != ERROR_SUCCESS) {
    return L"(unreadable)";
  }
  UniqueLocal text;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(sd.Get(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                            reinterpret_cast<LPWSTR*>(text.Receive()), nullptr)) {
    return L"(unconvertible)";
  }
  return static_cast<const wchar_t*>(text.Get());
}

// Windows keeps the DACL as set. Wine keeps none: it turns a DACL into Unix
// mode bits and reports a DACL made from them (SYSTEM, the owner, and
// Everyone when others may read), so there "no one else" is what can be seen.
void ExpectAdministratorsOnly(const std::wstring& dacl) {
  if (test::RunningUnderWine()) {
    EXPECT_NE(dacl.find(L"(A;;FA;;;SY)"), std::wstring::npos) << WideToUtf8(dacl);
    EXPECT_EQ(dacl.find(L";;;WD)"), std::wstring::npos) << WideToUtf8(dacl);
  } else {
    EXPECT_EQ(dacl, kAdministratorsOnlySddl);
  }
}

// What the mailer would find in the copy while it runs.
struct CopySeen {
  CopySeen(test::FakeProcessRunner& runner, const std::wstring& copy) {
    runner.onRun = [this, copy](const std::wstring&) {
      attributes = GetFileAttributesW(copy.c_str());
      dacl = DaclOf(copy);
      body = ProfileReader(copy).GetString(L"Config", L"Body", L"(missing)");
      password = ProfileReader(copy).GetString(L"Config", L"Password", L"(missing)");
    };
  }
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  std::wstring dacl, body, password;
};

TEST(MailCopyWin32, CarriesTheAdministratorsOnlyDaclWhenTheMailerRuns) {
  test::TempDir dir;
  test::WriteBytes(dir.File(L"mail.ini"), "[Config]\r\nPassword=secret\r\nBody_ping=down\r\n");
  // The folder lets everyone read, as Program Files does.
  ASSERT_NE(DaclOf(dir.File(L"mail.ini")).find(L";;;WD)"), std::wstring::npos);
  MonitorSettings settings;
  settings.exeDirectory = dir.Path();
  test::FakeProcessRunner runner;
  CopySeen seen(runner, dir.File(L"mail_12345.ini"));
  EXPECT_TRUE(SendMailThroughMailer(settings, 12345, CheckKind::Ping, runner, kMailerWaitBound));
  ExpectAdministratorsOnly(seen.dacl);
  EXPECT_EQ(seen.body, L"down");
  EXPECT_EQ(seen.password, L"secret");
}

TEST(MailCopyWin32, ALeftoverCopyAndAMissingMailIniStillGiveAProtectedCopy) {
  test::TempDir dir;
  MonitorSettings settings;
  settings.exeDirectory = dir.Path();
  test::WriteBytes(dir.File(L"mail_12345.ini"), "[Config]\r\nBody=old\r\n");
  test::FakeProcessRunner runner;
  CopySeen seen(runner, dir.File(L"mail_12345.ini"));
  SendMailThroughMailer(settings, 12345, CheckKind::Ping, runner, kMailerWaitBound);
  ExpectAdministratorsOnly(seen.dacl);
  EXPECT_EQ(seen.body, L"ping error");
}

// Windows copies a read-only mail.ini's attribute to the copy, which then
// could be neither written nor deleted; a read-only leftover blocked every
// later mail. (Wine keeps no attribute through the copy's new DACL, so there
// only the leftover without mail.ini shows it.)
TEST(MailCopyWin32, AReadOnlyMailIniOrLeftoverLeavesNoCopyBehind) {
  for (const bool withMailIni : {true, false}) {
    test::TempDir dir;
    const std::wstring mailIni = dir.File(L"mail.ini");
    const std::wstring copy = dir.File(L"mail_12345.ini");
    for (const std::wstring& file : withMailIni ? std::vector{mailIni, copy} : std::vector{copy}) {
      test::WriteBytes(file, "[Config]\r\nBody_ping=down\r\n");
      ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    MonitorSettings settings;
    settings.exeDirectory = dir.Path();
    test::FakeProcessRunner runner;
    CopySeen seen(runner, copy);
    EXPECT_TRUE(SendMailThroughMailer(settings, 12345, CheckKind::Ping, runner, kMailerWaitBound));
    EXPECT_EQ(seen.attributes & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(seen.body, withMailIni ? L"down" : L"ping error");
    EXPECT_EQ(GetFileAttributesW(copy.c_str()), INVALID_FILE_ATTRIBUTES);
    SetFileAttributesW(mailIni.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

}  // namespace
}  // namespace qv
