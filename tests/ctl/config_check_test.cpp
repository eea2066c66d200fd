// quorvanexctl check over small INI sets: a clean set, then one change per
// case and the finding it must give (or must not give).
#include "ctl/config_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/system.h"
#include "common/text_util.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

constexpr char kMissing[] = "<missing>";
constexpr char kDirectory[] = "<directory>";

const std::map<std::wstring, std::string>& CleanSet() {
  static const std::map<std::wstring, std::string> files = {
      {L"config.ini", "[Config]\r\nInterval=5\r\nLogDir=log\r\n[Threshold]\r\nPing=1\r\nDeviceManager=1\r\n"},
      {L"quorvanex.ini",
       "[Config]\r\nHardware=USB\\VID_1234\r\nCount=2\r\n[Quorvanex_1]\r\nServer=127.0.0.1\r\n"
       "[Quorvanex_2]\r\nServer=127.0.0.2\r\n"},
      {L"mail.ini",
       "[Config]\r\nMailSend=1\r\nSmtpServer=mail.example.invalid\r\nFrom=a@example.invalid\r\n"
       "To=b@example.invalid\r\nUser=u\r\nPassword=s3cr3t\r\n"},
      {L"message.ini", "[Config]\r\nPomvex=1\r\n"},
      {L"Ostrival.exe", ""},
  };
  return files;
}

struct Case {
  const char* name;
  const wchar_t* file;  // replaced in the clean set
  std::string content;  // kMissing, kDirectory, or the bytes ("%DIR%" is the set's directory)
  std::wstring line;    // a finding starts with it; "" for none; a final "$" asks for the whole line
  bool cannotPing = false;
};

TEST(ConfigCheck, FindsWhatTheMonitorWouldReadOtherwiseThanWritten) {
  const std::string mail =
      "[Config]\r\nMailSend=1\r\nSmtpServer=m\r\nFrom=a@b\r\nTo=c@d\r\nUser=u\r\nPassword=s3cr3t\r\n";
  const Case cases[] = {
      {"clean", L"message.ini", "[Config]\r\nPomvex=1\r\n", L""},
      {"typo, any case", L"config.ini", "[config]\r\nINTERVALL=5\r\n",
       L"config.ini [config] INTERVALL: unknown key (did you mean Interval?)$"},
      {"short name, no guess", L"mail.ini", mail + "Db=1\r\n", L"mail.ini [Config] Db: unknown key$"},
      {"key of another section", L"config.ini", "[Config]\r\nPing=3\r\n",
       L"config.ini [Config] Ping: unknown key (it belongs in [Threshold])$"},
      {"key twice", L"config.ini", "[Config]\r\nInterval=5\r\ninterval=6\r\n",
       L"config.ini [Config] interval: appears again in this section"},
      {"section twice", L"message.ini", "[Config]\r\nPomvex=1\r\n[CONFIG]\r\nPomvex=0\r\n",
       L"message.ini [CONFIG]: appears again"},
      {"server section with a leading zero", L"quorvanex.ini", "[Config]\r\nCount=0\r\n[Quorvanex_01]\r\n",
       L"quorvanex.ini [Quorvanex_01]: unknown section (did you mean Quorvanex_1?)"},
      {"hexadecimal", L"config.ini", "[Config]\r\nInterval=0x10\r\n",
       L"config.ini [Config] Interval=\"0x10\": not a plain decimal; the Monitor reads 16, which runs a cycle every 16 "
       L"minutes$"},
      {"beyond 32 bits", L"config.ini", "[Threshold]\r\nPing=3000000000\r\n",
       L"config.ini [Threshold] Ping=\"3000000000\": too large for a 32-bit number; the Monitor reads -1294967296, so "
       L"the threshold stays at its built-in 5$"},
      {"switch as a word", L"quorvanex.ini",
       "[Config]\r\nCount=1\r\n[Quorvanex_1]\r\nEnabled=yes\r\nServer=10.0.0.1\r\n",
       L"quorvanex.ini [Quorvanex_1] Enabled=\"yes\": not a plain decimal; the Monitor reads 0, which switches the "
       L"server off$"},
      {"mail limit beyond 10", L"mail.ini", "[Config]\r\nMailSend=50\r\n",
       L"mail.ini [Config] MailSend=\"50\": out of range (0 to 10, or 99); the Monitor reads 50, which it takes as 99"},
      {"negative switch", L"message.ini", "[Config]\r\nPomvex=-1\r\n",
       L"message.ini [Config] Pomvex=\"-1\": negative; the Monitor reads -1, which switches the on-screen alert off$"},
      {"Count far beyond", L"quorvanex.ini",
       "[Config]\r\nCount=9\r\n[Quorvanex_1]\r\nServer=10.0.0.1\r\n[Quorvanex_2]\r\nServer=10.0.0.2\r\n",
       L"quorvanex.ini [Config] Count=\"9\": more than the server sections there are: no [Quorvanex_3], "
       L"[Quorvanex_4], [Quorvanex_5], [Quorvanex_6], [Quorvanex_7] and 2 more$"},
      {"section past Count", L"quorvanex.ini", "[Config]\r\n[Quorvanex_1]\r\nServer=10.0.0.1\r\n",
       L"quorvanex.ini [Quorvanex_1]: past Count=0, so the Monitor does not read it$"},
      {"empty server", L"quorvanex.ini", "[Config]\r\nCount=1\r\n[Quorvanex_1]\r\nServer=\r\n",
       L"quorvanex.ini [Quorvanex_1] Server=\"\": empty, so the Monitor skips this section$"},
      {"broadcast server", L"quorvanex.ini", "[Config]\r\nCount=1\r\n[Quorvanex_1]\r\nServer=255.255.255.255\r\n",
       L"quorvanex.ini [Quorvanex_1] Server=\"255.255.255.255\": the broadcast address"},
      {"no right to ping", L"message.ini", "[Config]\r\n",
       L"config.ini [Threshold] Ping=\"1\": the ping check is on but this account cannot ping: no socket$", true},
      {"UTF-8 in a comment only", L"message.ini", "[Config]\r\n; \xE3\x83\x94\xE3\x83\xB3\xE3\x82\xB0\r\nPomvex=1\r\n",
       L""},
      {"unknown security", L"mail.ini", mail + "Security=ssl\r\n",
       L"mail.ini [Config] Security=\"ssl\": not starttls, tls or none"},
      {"plain text allowed knowingly", L"mail.ini", mail + "Security=none\r\nAllowPlainTextPassword=1\r\n", L""},
      {"port zero", L"mail.ini", mail + "SmtpPort=0\r\n",
       L"mail.ini [Config] SmtpPort=\"0\": out of range (1 to 65535)"},
      {"time-out as a word", L"mail.ini", mail + "TimeoutSeconds=ten\r\n",
       L"mail.ini [Config] TimeoutSeconds=\"ten\": not a plain decimal"},
      {"relative CaFile", L"mail.ini", mail + "CaFile=ca.pem\r\n",
       L"mail.ini [Config] CaFile=\"ca.pem\": not a full path"},
      {"CaFile present", L"mail.ini", mail + "CaFile=%DIR%\r\n", L""},
      {"mail off: the mail program's keys are not its business yet", L"mail.ini", "[Config]\r\nMailSend=0\r\n", L""},
      {"log directory blocked by a file", L"log", "x", L"config.ini [Config] LogDir=\"log\": the log directory"},
      {"unreadable", L"config.ini", kDirectory, L"config.ini: cannot be read"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    for (const auto& [name, bytes] : CleanSet()) test::WriteBytes(dir.File(name), bytes);
    std::filesystem::remove(std::filesystem::path(dir.File(c.file)));
    if (c.content == kDirectory) {
      std::filesystem::create_directory(std::filesystem::path(dir.File(c.file)));
    } else if (c.content != kMissing) {
      std::string bytes = c.content;
      if (const std::size_t at = bytes.find("%DIR%"); at != std::string::npos) {
        bytes.replace(at, 5, WideToUtf8(dir.Path()));
      }
      test::WriteBytes(dir.File(c.file), bytes);
    }
    CheckMachine machine;
    if (c.cannotPing) machine.pingRefusal = L"no socket";

    const ConfigCheck check = CheckConfiguration(dir.Path(), machine);
    std::vector<std::wstring> lines;
    for (const ConfigFinding& f : check.findings) lines.push_back(FormatFinding(f));
    std::wstring all;
    for (const std::wstring& line : lines) all += line + L"\n";
    EXPECT_EQ(all.find(L"s3cr3t"), std::wstring::npos) << "a password in:\n" << WideToUtf8(all);
    EXPECT_EQ(check.unreadable, c.content == kDirectory);
    if (c.line.empty()) {
      EXPECT_TRUE(lines.empty()) << WideToUtf8(all);
      continue;
    }
    const bool whole = c.line.back() == L'$';
    const std::wstring want = whole ? c.line.substr(0, c.line.size() - 1) : c.line;
    bool found = false;
    for (const std::wstring& line : lines) found = found || (whole ? line == want : line.starts_with(want));
    EXPECT_TRUE(found) << "no line " << WideToUtf8(want) << " in:\n" << WideToUtf8(all);
  }
}

}  // namespace
}  // namespace qv
