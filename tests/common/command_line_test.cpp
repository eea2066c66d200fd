#include "common/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace qv {
namespace {

struct SplitCase {
  const wchar_t* line;
  std::vector<std::wstring> args;
};

// What CommandLineToArgvW gives; under Windows/Wine each row is checked
// against the real function as well.
const SplitCase kCases[] = {
    {L"msg.exe * /TIME:2147483647 \"[2026/12/06 14:22:40]ping error\"",
     {L"msg.exe", L"*", L"/TIME:2147483647", L"[2026/12/06 14:22:40]ping error"}},
    {L"C:\\dir\\Ostrival.exe \"C:\\dir\\mail_12345.ini\"", {L"C:\\dir\\Ostrival.exe", L"C:\\dir\\mail_12345.ini"}},
    {L"p a \"\" b", {L"p", L"a", L"", L"b"}},
    {L"p \"\"", {L"p", L""}},
    {L"p \"a b\"c", {L"p", L"a bc"}},
    {L"p a\\b", {L"p", L"a\\b"}},
    {L"p a\\\"b", {L"p", L"a\"b"}},
    {L"p \"a\\\\\" b", {L"p", L"a\\", L"b"}},
    {L"p a\\\\\\\"b", {L"p", L"a\\\"b"}},
    {L"p a\\\\\\\\\"b c\"", {L"p", L"a\\\\b c"}},
    {L"p \"a\"\"b c\"", {L"p", L"a\"b", L"c"}},
    {L"p \"\"\"\"", {L"p", L"\""}},
    {L"p \"\"\"\"\"\" x", {L"p", L"\"\"", L"x"}},
    {L"p \"unterminated text", {L"p", L"unterminated text"}},
    {L" a b", {L"", L"a", L"b"}},
    {L"p \t a\t\tb  ", {L"p", L"a", L"b"}},
    {L"p a\nb\vc", {L"p", L"a\nb\vc"}},
    // The program name: backslashes literal, a leading quote runs to the next one.
    {L"\"C:\\a b\"x y", {L"C:\\a b", L"x", L"y"}},
    {L"\"C:\\dir\\\" z", {L"C:\\dir\\", L"z"}},
    {L"C:\\a\\\"b c", {L"C:\\a\\\"b", L"c"}},
    {L"\"unterminated program", {L"unterminated program"}},
    {L"prog", {L"prog"}},
    {L"p *.txt ?", {L"p", L"*.txt", L"?"}},
};

TEST(SplitCommandLine, FollowsCommandLineToArgvW) {
  for (const SplitCase& c : kCases) {
    EXPECT_EQ(SplitCommandLine(c.line), c.args) << "line: " << testing::PrintToString(std::wstring(c.line));
#ifdef _WIN32
    int count = 0;
    LPWSTR* real = CommandLineToArgvW(c.line, &count);
    ASSERT_NE(real, nullptr);
    std::vector<std::wstring> expected(real, real + count);
    LocalFree(real);
    EXPECT_EQ(SplitCommandLine(c.line), expected)
        << "CommandLineToArgvW disagrees on " << testing::PrintToString(std::wstring(c.line));
#endif
  }
}

TEST(SplitCommandLine, EmptyLineGivesNoProgram) {
  // Windows would name the calling program here; starting ourselves is never wanted.
  EXPECT_TRUE(SplitCommandLine(L"").empty());
}

}  // namespace
}  // namespace qv
