#include "monitor/wmi/wql.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(WqlLike, MatchesTheWqlWildcardsCaseInsensitively) {
  struct Case {
    const wchar_t* text;
    const wchar_t* pattern;
    bool matches;
  } const cases[] = {
      {L"USB\\VID_046D&PID_C52B\\5&2A3B", L"USB\\VID_046D%", true},  // prefix
      {L"USB\\VID_046D&PID_C52B\\5&2A3B", L"USB\\VID_046E%", false},
      {L"USB\\VID_046D", L"USB\\VID_046D%", true},  // % takes nothing
      {L"", L"%", true},
      {L"abcd", L"abc", false},  // the whole text must match
      {L"abc", L"abcd", false},
      {L"abXcYc", L"a%c%c", true},  // % backtracks
      {L"abXcY", L"a%c%c", false},
      {L"VIDX046D", L"VID_046D", true},  // _ is one character, never none
      {L"VID046D", L"VID_046D", false},
      {L"VIDX1", L"VID[_]1", false},  // bracketed wildcards are literal
      {L"a%b", L"a[%]b", true},
      {L"a[b", L"a[[]b", true},
      {L"b", L"[abc]", true},
      {L"d", L"[abc]", false},
      {L"d", L"[^abc]", true},
      {L"a", L"[^abc]", false},
      {L"C", L"[a=f]", true},  // = ranges, case-insensitive
      {L"a", L"[a=f]", true},  // both ends belong to the range
      {L"f", L"[a=f]", true},
      {L"g", L"[a=f]", false},
      {L"g", L"[^a=f]", true},
      {L"-", L"[a-f]", true},  // "-" is a member, not a range
      {L"c", L"[a-f]", false},
      {L"E", L"[0=9a=f]", true},
      {L"x", L"[abc", false},  // no closing bracket
      {L"pci\\ven_8086", L"PCI\\VEN_8086", true},
      {L"\u00e9t\u00e9", L"\u00c9T\u00c9", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WqlLike(c.text, c.pattern), c.matches) << "text '" << c.text << "' pattern '" << c.pattern << "'";
  }
}

TEST(WqlQuery, TheDeviceQueryParsesBackToItsParts) {
  EXPECT_EQ(DeviceQueryText(L"A_B'C"), L"Select Caption, Status from Win32_PnPEntity where DeviceID like 'A_B'C%'");
  auto q = ParseWqlLikeQuery(DeviceQueryText(L"USB\\\\VID_046D"));
  ASSERT_TRUE(q.has_value());
  EXPECT_EQ(q->properties, (std::vector<std::wstring>{L"Caption", L"Status"}));
  EXPECT_EQ(q->className, L"Win32_PnPEntity");
  EXPECT_EQ(q->property, L"DeviceID");
  EXPECT_EQ(q->pattern, L"USB\\VID_046D%");  // the doubled backslash is one again

  q = ParseWqlLikeQuery(L"  SELECT  *,Name FROM Win32_PnPEntity\tWHERE DeviceID LIKE\"x%\"  ");
  ASSERT_TRUE(q.has_value());
  EXPECT_EQ(q->properties, (std::vector<std::wstring>{L"*", L"Name"}));
}

TEST(WqlQuery, LiteralEscapes) {
  struct Case {
    const wchar_t* literal;
    const wchar_t* value;
  } const cases[] = {
      {L"'a\\\\b'", L"a\\b"},  // \\ is one backslash
      {L"'a\\b'", L"ab"},      // before another character the backslash goes
      {L"'a\\'b'", L"a'b"},    // an escaped quote stays in the literal
      {L"\"a'b\"", L"a'b"},
  };
  for (const Case& c : cases) {
    auto q = ParseWqlLikeQuery(std::wstring(L"select * from X where Y like ") + c.literal);
    ASSERT_TRUE(q.has_value()) << c.literal;
    EXPECT_EQ(q->pattern, c.value) << c.literal;
  }
}

TEST(WqlQuery, RejectsMalformedQueries) {
  const wchar_t* const invalid[] = {
      L"Select Caption, Status from Win32_PnPEntity where DeviceID like 'it's%'",  // quote in the prefix
      L"Select Caption from Win32_PnPEntity where DeviceID like 'open",
      L"Select Caption from Win32_PnPEntity where DeviceID like 'escaped end\\'",
      L"Select Caption, from Win32_PnPEntity where DeviceID like 'x'",
      L"Select Caption from where DeviceID like 'x'",
      L"Select Caption from Win32_PnPEntity where DeviceID = 'x'",
      L"Selectx Caption from Win32_PnPEntity where DeviceID like 'x'",
      L"",
  };
  for (const wchar_t* text : invalid) EXPECT_FALSE(ParseWqlLikeQuery(text).has_value()) << text;
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

TEST(WqlLike, ManyPercentRunsStayFast) {
  // A backtracking matcher takes exponential time here; the cycle would hang.
  std::wstring pattern;
  for (int i = 0; i < 40; ++i) pattern += L"%a";
  pattern += L"%b";
  const std::wstring text(5000, L'a');
  EXPECT_FALSE(WqlLike(text, pattern));
  EXPECT_TRUE(WqlLike(text + L"b", pattern));
}

}  // namespace
}  // namespace qv
