#include "common/text_util.h"

#include <gtest/gtest.h>

#include <climits>

namespace qv {
namespace {

TEST(Strings, ReplaceAllReplacesEveryOccurrenceWithCase) {
  std::wstring body = L"<name> and <name>, not <NAME>";
  ReplaceAll(body, L"<name>", L"USB\\\\VID");
  EXPECT_EQ(body, L"USB\\\\VID and USB\\\\VID, not <NAME>");
  std::wstring same = L"aaa";
  ReplaceAll(same, L"a", L"aa");
  EXPECT_EQ(same, L"aaaaaa");
}

TEST(Strings, CaseInsensitiveComparisonFoldsLettersBeyondAscii) {
  EXPECT_TRUE(EqualsNoCase(L"Quorvanex_1", L"QUORVANEX_1"));
  EXPECT_TRUE(EqualsNoCase(L"ÄÖÜé", L"äöüÉ"));
  EXPECT_FALSE(EqualsNoCase(L"ok", L"okay"));
  EXPECT_LT(CompareNoCase(L"20261206_142240_log.txt", L"20261206_142241_LOG.txt"), 0);
  // _wcsicmp compares lower case, so "_" (0x5F) sorts before letters.
  EXPECT_LT(CompareNoCase(L"A_", L"AB"), 0);
  EXPECT_EQ(CompareNoCase(L"Log", L"lOG"), 0);
}

TEST(Strings, WtoiFollowsTheMsvcRuntime) {
  EXPECT_EQ(Wtoi(L""), 0);
  EXPECT_EQ(Wtoi(L"abc"), 0);
  EXPECT_EQ(Wtoi(L"- 5"), 0);
  EXPECT_EQ(Wtoi(L"  42"), 42);
  EXPECT_EQ(Wtoi(L"\t\n7"), 7);
  EXPECT_EQ(Wtoi(L"\x3000 9"), 9);
  EXPECT_EQ(Wtoi(L"+5"), 5);
  EXPECT_EQ(Wtoi(L"-2"), -2);
  EXPECT_EQ(Wtoi(L"12abc"), 12);
  EXPECT_EQ(Wtoi(L"010"), 10);
  EXPECT_EQ(Wtoi(L"0x1A"), 0);
  EXPECT_EQ(Wtoi(L"2147483648"), INT_MAX);
  EXPECT_EQ(Wtoi(L"-2147483649"), INT_MIN);
  EXPECT_EQ(Wtoi(L"4294967297"), INT_MAX);
  EXPECT_EQ(Wtoi(L"99999999999999999999"), INT_MAX);
  EXPECT_EQ(Wtoi(L"\xFF11\xFF12"), 12);
}

TEST(Strings, Utf8RoundTripsAndReplacesBrokenSequences) {
  std::wstring text = L"設定 é \U0001F600";
  EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
  EXPECT_EQ(WideToUtf8(L"開始"), "\xE9\x96\x8B\xE5\xA7\x8B");
  EXPECT_EQ(Utf8ToWide("a\xFF" "b"), L"a\xFFFD" L"b");
  EXPECT_EQ(Utf8ToWide("\xE9\x96"), L"\xFFFD\xFFFD");
}

}  // namespace
TEST(Strings, ParseDigitsTakesPlainDecimalsOnlyAndBoundsTheirLength) {
  EXPECT_EQ(ParseDigits(L"0587", 9), 587);
  EXPECT_EQ(ParseDigits(L"2147483647", 10), 2147483647);
  for (const wchar_t* bad : {L"", L"-1", L"+1", L"25x", L" 7", L"\uFF17"}) {
    EXPECT_FALSE(ParseDigits(bad, 9).has_value()) << WideToUtf8(bad);
  }
  EXPECT_FALSE(ParseDigits(L"1234567890", 9).has_value());
  EXPECT_EQ(TrimBlanks(L" \t a b\t "), L"a b");
}

}  // namespace qv
