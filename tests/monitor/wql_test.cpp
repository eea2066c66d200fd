#include "wql.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

struct LikeCase {
  const wchar_t* text;
  const wchar_t* pattern;
  bool matches;
};

TEST(WqlLike, MatchesTheWqlWildcardsCaseInsensitively) {
  const LikeCase cases[] = {
      // prefix, as the device query uses it
      {L"USB\\VID_046D&PID_C52B\\5&2A3B", L"USB\\VID_046D%", true},
      {L"USB\\VID_046D&PID_C52B\\5&2A3B", L"USB\\VID_046E%", false},
      {L"USB\\VID_046D", L"USB\\VID_046D%", true},  // % takes nothing
      {L"", L"%", true},
      {L"anything", L"%", true},
      {L"abc", L"abc", true},
      {L"abcd", L"abc", false},  // the whole text must match
      {L"abc", L"abcd", false},
      {L"abXc", L"ab%c", true},
      {L"abXcYc", L"a%c%c", true},
      {L"abXcY", L"a%c%c", false},
      // _ is any one character, not none
      {L"VID_046D", L"VID_046D", true},
      {L"VIDX046D", L"VID_046D", true},
      {L"VID046D", L"VID_046D", false},
      {L"", L"_", false},
      // sets, negated sets and =ranges
      {L"VID_1", L"VID[_]1", true},
      {L"VIDX1", L"VID[_]1", false},
      {L"a%b", L"a[%]b", true},
      {L"axb", L"a[%]b", false},
      {L"a[b", L"a[[]b", true},
      {L"b", L"[abc]", true},
      {L"d", L"[abc]", false},
      {L"d", L"[^abc]", true},
      {L"a", L"[^abc]", false},
      {L"c", L"[a=f]", true},
      {L"C", L"[a=f]", true},
      {L"g", L"[a=f]", false},
      {L"g", L"[^a=f]", true},
      {L"-", L"[a-f]", true},  // "-" is a member, not a range
      {L"c", L"[a-f]", false},
      {L"7", L"[0=9a=f]", true},
      {L"E", L"[0=9a=f]", true},
      {L"x", L"[abc", false},  // no closing bracket
      // case
      {L"pci\\ven_8086", L"PCI\\VEN_8086", true},
      {L"Logitech USB Receiver", L"%logitech%", true},
      {L"\u00e9t\u00e9", L"\u00c9T\u00c9", true},
  };
  for (const LikeCase& c : cases) {
    EXPECT_EQ(WqlLike(c.text, c.pattern), c.matches) << "text '" << c.text << "' pattern '" << c.pattern << "'";
  }
}

TEST(WqlQuery, TheDeviceQueryParsesBackToItsParts) {
  auto q = ParseWqlLikeQuery(DeviceQueryText(L"USB\\\\VID_046D"));
  ASSERT_TRUE(q.has_value());
  EXPECT_EQ(q->properties, (std::vector<std::wstring>{L"Caption", L"Status"}));
  EXPECT_EQ(q->className, L"Win32_PnPEntity");
  EXPECT_EQ(q->property, L"DeviceID");
  EXPECT_EQ(q->pattern, L"USB\\VID_046D%");  // the doubled backslash is one again
}

TEST(WqlQuery, KeepsThePrefixUnescapedInTheText) {
  EXPECT_EQ(DeviceQueryText(L"A_B'C"),
            L"Select Caption, Status from Win32_PnPEntity where DeviceID like 'A_B'C%'");
  EXPECT_EQ(DeviceQueryText(L""), L"Select Caption, Status from Win32_PnPEntity where DeviceID like '%'");
}

TEST(WqlQuery, LiteralEscapes) {
  struct Case {
    const wchar_t* literal;
    const wchar_t* value;
  } cases[] = {
      {L"'a\\\\b'", L"a\\b"},    // \\ is one backslash
      {L"'a\\b'", L"ab"},        // before another character the backslash goes
      {L"'a\\'b'", L"a'b"},      // an escaped quote stays in the literal
      {L"\"a'b\"", L"a'b"},      // double quotes delimit too
      {L"'a\\\\\\\\b'", L"a\\\\b"},
      {L"''", L""},
  };
  for (const Case& c : cases) {
    auto q = ParseWqlLikeQuery(std::wstring(L"select * from X where Y like ") + c.literal);
    ASSERT_TRUE(q.has_value()) << c.literal;
    EXPECT_EQ(q->pattern, c.value) << c.literal;
  }
}

TEST(WqlQuery, KeywordsIgnoreCaseAndSpacing) {
  auto q = ParseWqlLikeQuery(L"  SELECT  *,Name FROM   Win32_PnPEntity\tWHERE DeviceID LIKE'x%'  ");
  ASSERT_TRUE(q.has_value());
  EXPECT_EQ(q->properties, (std::vector<std::wstring>{L"*", L"Name"}));
  EXPECT_EQ(q->pattern, L"x%");
}

TEST(WqlQuery, RejectsMalformedQueries) {
  const wchar_t* invalid[] = {
      L"Select Caption, Status from Win32_PnPEntity where DeviceID like 'it's%'",  // quote in the prefix
      L"Select Caption from Win32_PnPEntity where DeviceID like 'open",
      L"Select Caption from Win32_PnPEntity where DeviceID like 'ends in backslash\\",
      L"Select Caption from Win32_PnPEntity where DeviceID like 'x' and 1",
      L"Select from Win32_PnPEntity where DeviceID like 'x'",
      L"Select Caption, from Win32_PnPEntity where DeviceID like 'x'",
      L"Select Caption Win32_PnPEntity where DeviceID like 'x'",
      L"Select Caption from where DeviceID like 'x'",
      L"Select Caption from Win32_PnPEntity DeviceID like 'x'",
      L"Select Caption from Win32_PnPEntity where DeviceID = 'x'",
      L"Select Caption from Win32_PnPEntity where DeviceID like x",
      L"Selectx Caption from Win32_PnPEntity where DeviceID like 'x'",
      L"",
  };
  for (const wchar_t* text : invalid) EXPECT_FALSE(ParseWqlLikeQuery(text).has_value()) << text;
}

}  // namespace
}  // namespace qv
