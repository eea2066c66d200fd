// One set of INI behaviours, run natively against IniFile and, cross-compiled,
// against the real profile functions under Wine. Where Wine is known to differ
// from Windows the test follows Windows and is skipped under Wine.
#include "common/profile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "common/system.h"
#include "common/text_util.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

std::string Utf16Le(std::wstring_view text) {
  std::string out = "\xFF\xFE";
  for (char16_t u : WideToUtf16(text)) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

class Profile : public ::testing::Test {
 protected:
  // Writes `bytes` as the INI file and returns a reader of it.
  ProfileReader Load(const std::string& bytes) {
    test::WriteBytes(path_, bytes);
    return ProfileReader(path_);
  }
  std::string Bytes() const { return test::ReadBytes(path_); }

  test::TempDir dir_;
  std::wstring path_ = dir_.File(L"test.ini");
};

TEST_F(Profile, MatchesNamesWithoutCaseAndTrimsBlanks) {
  ProfileReader ini = Load(
      "[ section1 ]\r\n"
      "  NaMe1 =  val1  \r\n"
      "tabs=\t\x0B\x0C\x1A v \x1A\t\r\n"
      "eq = b=c\r\n"
      "wide=\x81\x40w\x81\x40\r\n"  // U+3000 is not a blank here
      "=empty name\r\n");
  EXPECT_EQ(ini.GetString(L"SECTION1", L"name1", L"def"), L"val1");
  EXPECT_EQ(ini.GetString(L"section1", L"TABS", L"def"), L"v");
  EXPECT_EQ(ini.GetString(L"section1", L"eq", L"def"), L"b=c");
  EXPECT_EQ(ini.GetString(L"section1", L"wide", L"def"), L"\x3000w\x3000");
  EXPECT_EQ(ini.GetString(L"section1", L"", L"def"), L"empty name");
}

TEST_F(Profile, RemovesOnlyOneMatchingPairOfOuterQuotes) {
  ProfileReader ini = Load(
      "[s]\r\n"
      "a=\"val2\"\r\nb='x'\r\nc=\"a\" b\r\nd=\"\r\ne=\" spaced \"\r\nf=\"x'\r\ng=\"\"\"\"\r\n");
  EXPECT_EQ(ini.GetString(L"s", L"a", L"def"), L"val2");
  EXPECT_EQ(ini.GetString(L"s", L"b", L"def"), L"x");
  EXPECT_EQ(ini.GetString(L"s", L"c", L"def"), L"\"a\" b");
  EXPECT_EQ(ini.GetString(L"s", L"d", L"def"), L"\"");
  EXPECT_EQ(ini.GetString(L"s", L"e", L"def"), L" spaced ");
  EXPECT_EQ(ini.GetString(L"s", L"f", L"def"), L"\"x'");
  EXPECT_EQ(ini.GetString(L"s", L"g", L"def"), L"\"\"");
}

TEST_F(Profile, MissingFileSectionOrKeyGivesTheDefaultWithoutTrailingSpaces) {
  ProfileReader none(dir_.File(L"missing.ini"));
  EXPECT_EQ(none.GetString(L"s", L"k", L"default  "), L"default");
  EXPECT_EQ(none.GetInt(L"s", L"k", 7), 7u);
  EXPECT_EQ(none.GetInt(L"s", L"k", -1), 0xFFFFFFFFu);
  EXPECT_TRUE(none.SectionNames().empty());

  ProfileReader ini = Load("[s]\r\nk=\r\nbare\r\nbare=1\r\n");
  EXPECT_EQ(ini.GetString(L"t", L"k", L" d "), L" d");
  EXPECT_EQ(ini.GetString(L"s", L"other", L"d"), L"d");
  // Present but empty is a value; a line without "=" is not.
  EXPECT_EQ(ini.GetString(L"s", L"k", L"d"), L"");
  EXPECT_EQ(ini.GetString(L"s", L"bare", L"d"), L"d");
}

TEST_F(Profile, FirstSectionAndFirstKeyOfAName) {
  ProfileReader ini = Load("[s]\r\nk=1\r\nK=2\r\n[other]\r\nx=0\r\n[S]\r\nk=3\r\nonlyhere=4\r\n");
  EXPECT_EQ(ini.GetString(L"s", L"k", L"d"), L"1");
  // The second [S] is never searched.
  EXPECT_EQ(ini.GetString(L"s", L"onlyhere", L"d"), L"d");
  EXPECT_EQ(ini.GetInt(L"S", L"onlyhere", 9), 9u);
}

TEST_F(Profile, CommentsHeadersAndLineEndings) {
  ProfileReader ini = Load(
      "[a]\r\n"
      "; k=1\r\n"
      "  ;j=2\r\n"
      "#h=3\r\n"
      "v=x ; not a comment\r\n"
      "[b] trailing text\r\n"
      "k=b\r"
      "[c]x]\n"
      "k=c\r\n"
      "[no bracket\r\n"
      "n=in c\r\n"
      "[d]\r\n"
      "k=last line");
  EXPECT_EQ(ini.GetString(L"a", L"k", L"d"), L"d");
  EXPECT_EQ(ini.GetString(L"a", L"j", L"d"), L"d");
  EXPECT_EQ(ini.GetString(L"a", L"#h", L"d"), L"3");
  EXPECT_EQ(ini.GetString(L"a", L"v", L"d"), L"x ; not a comment");
  EXPECT_EQ(ini.GetString(L"b", L"k", L"d"), L"b");
  EXPECT_EQ(ini.GetString(L"c]x", L"k", L"d"), L"c");
  EXPECT_EQ(ini.GetString(L"c]x", L"n", L"d"), L"in c");
  EXPECT_EQ(ini.GetString(L"d", L"k", L"d"), L"last line");
}

TEST_F(Profile, ListsSectionNamesInFileOrder) {
  ProfileReader ini = Load("[Quorvanex_1]\r\n[ quorvanex_2 ]\r\n[Quorvanex_1]\r\n[x]y]\r\n[nobracket\r\nk=1\r\n");
  std::vector<std::wstring> expected = {L"Quorvanex_1", L"quorvanex_2", L"Quorvanex_1", L"x]y"};
  EXPECT_EQ(ini.SectionNames(), expected);
}

TEST_F(Profile, ListsTheKeysOfTheFirstSectionOfAName) {
  ProfileReader ini = Load(
      "[s]\r\n k = 1\r\n; c=2\r\nnovalue\r\nK=3\r\n=empty\r\n[t]\r\nx=4\r\n[S]\r\nlater=5\r\n");
  std::vector<std::wstring> expected = {L"k", L"K", L""};
  EXPECT_EQ(ini.KeyNames(L"S"), expected);
  EXPECT_TRUE(ini.KeyNames(L"missing").empty());
}

TEST_F(Profile, CutsStringsAt1023UnitsAndAtTheFirstNul) {
  std::string bytes = "[s]\r\nlong=" + std::string(2000, 'a') + "\r\nquoted=\"" + std::string(1022, 'b') +
                      "\"\r\nexact=" + std::string(1023, 'c') + "\r\n";
  static const char nuls[] = "nul=ab\0cd\r\n\0\0junk\0\r\nafter=1\r\n";
  bytes += std::string(nuls, sizeof nuls - 1);
  ProfileReader ini = Load(bytes);
  EXPECT_EQ(ini.GetString(L"s", L"long", L""), std::wstring(1023, L'a'));
  EXPECT_EQ(ini.GetString(L"s", L"quoted", L""), std::wstring(1022, L'b'));
  EXPECT_EQ(ini.GetString(L"s", L"exact", L""), std::wstring(1023, L'c'));
  EXPECT_EQ(ini.GetString(L"s", L"nul", L""), L"ab");
  EXPECT_EQ(ini.GetString(L"s", L"after", L""), L"1");
  EXPECT_EQ(ini.GetString(L"s", L"missing", std::wstring(1500, L'd')), std::wstring(1023, L'd'));
}

TEST_F(Profile, CountsTheCapInUtf16UnitsAndCanSplitASurrogatePair) {
  ProfileReader ini = Load(Utf16Le(L"[s]\r\nk=" + std::wstring(1022, L'a') + L"\U0001F600\r\n"));
  std::u16string units = WideToUtf16(ini.GetString(L"s", L"k", L""));
  ASSERT_EQ(units.size(), 1023u);
  EXPECT_EQ(units.back(), 0xD83D);
}

struct IntCase {
  const char* value;
  std::uint32_t expected;
};

TEST_F(Profile, ReadsIntegersLikeRtlUnicodeStringToInteger) {
  const IntCase cases[] = {
      {"-2", 4294967294u},  {"+1", 1},           {"  42 ", 42},       {"\"12\"", 12},
      {"12abc", 12},        {"42A94967297", 42}, {"abc", 0},          {"B4294967297", 0},
      {"0x1A", 26},         {"0b101", 5},        {"0o17", 15},        {"0X1A", 0},
      {"0x1g", 1},          {"-0x10", 4294967280u}, {"056789", 56789}, {"4294967296", 0},
      {"4294967297", 1},    {"-4294967297", 4294967295u}, {"2147483648", 2147483648u},
      {"1 2", 1},           {"1.5", 1},          {"\x01\x02 9", 9},   {"\x81\x40 7", 0},
      {"\"5", 0},           {"- 5", 0},          {"--5", 0},
      // Only the first 29 characters are read.
      {"000000000000000000000000000000000000001", 0},
      {"12345678901234567890123456789012", 1849262357u},
  };
  std::string bytes = "[s]\r\n";
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    bytes += "k" + std::to_string(i) + "=" + cases[i].value + "\r\n";
  }
  bytes += "empty=\r\nquotedEmpty=\"\"\r\nblank=   \r\nbare\r\n";
  ProfileReader ini = Load(bytes);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    std::wstring key = L"k" + std::to_wstring(i);
    EXPECT_EQ(ini.GetInt(L"s", key, 7), cases[i].expected) << "value " << cases[i].value;
  }
  // Nothing to read gives the default, not 0.
  for (const wchar_t* key : {L"empty", L"quotedEmpty", L"blank", L"bare", L"missing"}) {
    EXPECT_EQ(ini.GetInt(L"s", key, 7), 7u) << "key " << WideToUtf8(key);
    EXPECT_EQ(ini.GetInt(L"s", key, -5), static_cast<std::uint32_t>(-5));
  }
}

TEST_F(Profile, ReadsCp932AndUtf16LeFiles) {
  ProfileReader ansi = Load("[\x90\xDD\x92\xE8]\r\nk=\x8A\x4A\x8E\x6E\r\n");
  EXPECT_EQ(ansi.GetString(L"設定", L"k", L""), L"開始");
  ProfileReader wide = Load(Utf16Le(L"[設定]\r\nK = ①é\x3000\r\nn= 12 \r\n"));
  EXPECT_EQ(wide.GetString(L"設定", L"k", L""), L"①é\x3000");
  EXPECT_EQ(wide.GetInt(L"設定", L"n", 0), 12u);
}

TEST_F(Profile, ALeadByteTakesTheLineBreakAfterIt) {
  // The file is decoded before it is split into lines.
  ProfileReader ini = Load("[s]\r\na=\x81\r\nb=1\r\nc=\x81\nd=2\r\ne=\x81");
  EXPECT_EQ(ini.GetString(L"s", L"a", L""), L"\x30FB");
  EXPECT_EQ(ini.GetInt(L"s", L"b", 0), 1u);
  EXPECT_EQ(ini.GetString(L"s", L"c", L""), L"\x30FB" L"d=2");
  EXPECT_EQ(ini.GetString(L"s", L"d", L"none"), L"none");
  EXPECT_EQ(ini.GetString(L"s", L"e", L""), L"\x30FB");
}

TEST_F(Profile, Utf8ByteOrderMarkSpoilsTheFirstLine) {
  if (test::RunningUnderWine()) GTEST_SKIP() << "Wine reads a UTF-8 BOM; Windows 10/11 do not";
  ProfileReader ini = Load("\xEF\xBB\xBF[s]\r\nk=1\r\n[t]\r\nk=2\r\n");
  EXPECT_EQ(ini.GetString(L"s", L"k", L"def"), L"def");
  EXPECT_EQ(ini.GetString(L"t", L"k", L"def"), L"2");
}

TEST_F(Profile, LinesBeforeTheFirstHeaderCannotBeReached) {
  if (test::RunningUnderWine()) GTEST_SKIP() << "Wine files them under an unnamed section";
  ProfileReader ini = Load("k=1\r\n[s]\r\nk=2\r\n");
  EXPECT_EQ(ini.GetString(L"", L"k", L"def"), L"def");
  ProfileReader empty = Load("k=1\r\n[]\r\nk=3\r\n");
  EXPECT_EQ(empty.GetString(L"", L"k", L"def"), L"3");
}

TEST_F(Profile, WritingCreatesAMissingFileAsAnsiWithCrLf) {
  EXPECT_TRUE(WriteProfileValue(path_, L"App", L"key", L""));
  EXPECT_EQ(Bytes(), "[App]\r\nkey=\r\n");
  test::TempDir other;
  std::wstring japanese = other.File(L"jp.ini");
  EXPECT_TRUE(WriteProfileValue(japanese, L"設定", L"名前", L"開始"));
  EXPECT_EQ(test::ReadBytes(japanese), "[\x90\xDD\x92\xE8]\r\n\x96\xBC\x91\x4F=\x8A\x4A\x8E\x6E\r\n");
  EXPECT_FALSE(WriteProfileValue(JoinPath(dir_.File(L"no-such-dir"), L"x.ini"), L"App", L"key", L"1"));
}

TEST_F(Profile, WritingAppendsANewSectionWithoutABlankLine) {
  test::WriteBytes(path_, "[App1]\r\nkey1=string1\r\n[App2]\r\nkey4=string4\r\n");
  EXPECT_TRUE(WriteProfileValue(path_, L"App3", L"key5", L"string5"));
  EXPECT_EQ(Bytes(), "[App1]\r\nkey1=string1\r\n[App2]\r\nkey4=string4\r\n[App3]\r\nkey5=string5\r\n");
}

TEST_F(Profile, WritingReplacesTheFirstMatchAndKeepsItsSpelling) {
  test::WriteBytes(path_, "[A]\r\nKey=1\r\n[B]\r\nx=1\r\n[a]\r\nkey=9\r\n");
  EXPECT_TRUE(WriteProfileValue(path_, L"a", L"KEY", L"2"));
  EXPECT_EQ(Bytes(), "[A]\r\nKey=2\r\n[B]\r\nx=1\r\n[a]\r\nkey=9\r\n");
  // A new key goes to the end of the first section of that name.
  EXPECT_TRUE(WriteProfileValue(path_, L"A", L"New", L"3"));
  EXPECT_EQ(Bytes(), "[A]\r\nKey=2\r\nNew=3\r\n[B]\r\nx=1\r\n[a]\r\nkey=9\r\n");
  ProfileReader ini(path_);
  EXPECT_EQ(ini.GetInt(L"a", L"new", 0), 3u);
}

TEST_F(Profile, WritingAnUnchangedValueLeavesTheFileAlone) {
  test::WriteBytes(path_, "[A]\r\n  k =  1  \r\n\r\n\r\n[B]\r\n");
  EXPECT_TRUE(WriteProfileValue(path_, L"a", L"K", L"1"));
  EXPECT_EQ(Bytes(), "[A]\r\n  k =  1  \r\n\r\n\r\n[B]\r\n");
}

TEST_F(Profile, WritingEditsTheFileInPlace) {
  if (test::RunningUnderWine()) GTEST_SKIP() << "Wine rewrites the whole file normalised";
  static const char nulLine[] = "\0\0x\r\n";
  const std::string head = std::string(nulLine, sizeof nulLine - 1) + "[A]\r\n; c\r\n";
  const std::string tail = "\r\n\r\n\r\n  other =  x \r\n[B]\r\nz=1\r\n";
  test::WriteBytes(path_, head + "  K = 1" + tail);
  EXPECT_TRUE(WriteProfileValue(path_, L"a", L"k", L"2"));
  const std::string after = Bytes();
  // How Windows spaces the edited line itself is not documented.
  EXPECT_EQ(after.substr(0, head.size()), head);
  ASSERT_GE(after.size(), tail.size());
  EXPECT_EQ(after.substr(after.size() - tail.size()), tail);
  EXPECT_EQ(ProfileReader(path_).GetString(L"A", L"K", L""), L"2");
}

TEST_F(Profile, WritingKeepsAUtf16LeFileUtf16Le) {
  test::WriteBytes(path_, Utf16Le(L"[設定]\r\nk=古い\r\n"));
  EXPECT_TRUE(WriteProfileValue(path_, L"設定", L"k", L"新しい①"));
  EXPECT_TRUE(WriteProfileValue(path_, L"other", L"é", L"\U0001F600"));
  EXPECT_EQ(Bytes(), Utf16Le(L"[設定]\r\nk=新しい①\r\n[other]\r\né=\U0001F600\r\n"));
  ProfileReader ini(path_);
  EXPECT_EQ(ini.GetString(L"設定", L"K", L""), L"新しい①");
}

}  // namespace
}  // namespace qv
