// Byte-level behaviour of IniFile: a write changes one line and keeps every
// other byte, as Windows does when it edits a profile in place.
#include "common/ini_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

namespace qv {
namespace {

// A byte string from a literal that may hold NUL bytes.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

std::string Set(const std::string& before, std::wstring_view section, std::wstring_view key,
                std::wstring_view value) {
  IniFile ini = IniFile::Parse(before);
  ini.Set(section, key, value);
  return ini.Serialize();
}

TEST(IniFile, ReplacingAValueKeepsEveryOtherByte) {
  const std::string before = Bytes("\0\0x\n") +
                             "[A]\r\n; c\r\n  K = 1\n\n\n  other =  x \r\n\x1A\r\n[B]\r\nz=1";
  const std::string after = Bytes("\0\0x\n") +
                            "[A]\r\n; c\r\nK=2\n\n\n  other =  x \r\n\x1A\r\n[B]\r\nz=1";
  EXPECT_EQ(Set(before, L"a", L"k", L"2"), after);
  // The last line keeps having no line break.
  EXPECT_EQ(Set("[A]\r\nk=1", L"A", L"k", L"22"), "[A]\r\nk=22");
  // A name without "=" gets its value.
  EXPECT_EQ(Set("[A]\r\nflag\r\nx=1\r\n", L"A", L"FLAG", L"1"), "[A]\r\nflag=1\r\nx=1\r\n");
}

TEST(IniFile, ANewKeyFollowsTheLastEntryOfItsSection) {
  EXPECT_EQ(Set("[A]\r\nk=1\r\n; tail\r\n\r\n[B]\r\nb=1\r\n", L"A", L"new", L"2"),
            "[A]\r\nk=1\r\nnew=2\r\n; tail\r\n\r\n[B]\r\nb=1\r\n");
  EXPECT_EQ(Set("[A]\r\n\r\n[B]\r\n", L"a", L"New", L"2"), "[A]\r\nNew=2\r\n\r\n[B]\r\n");
  EXPECT_EQ(Set("[A]\r\nk=1", L"A", L"j", L"2"), "[A]\r\nk=1\r\nj=2\r\n");
  EXPECT_EQ(Set("[A]", L"A", L"j", L"2"), "[A]\r\nj=2\r\n");
  EXPECT_EQ(Set("[A]\nk=1\n[A]\nk=2\n", L"a", L"j", L"3"), "[A]\nk=1\nj=3\r\n[A]\nk=2\n");
}

TEST(IniFile, ANewSectionGoesAtTheEnd) {
  EXPECT_EQ(Set("", L"App", L"key", L""), "[App]\r\nkey=\r\n");
  EXPECT_EQ(Set("[A]\r\nk=1", L"B", L"x", L"1"), "[A]\r\nk=1\r\n[B]\r\nx=1\r\n");
  EXPECT_EQ(Set("; only a comment\n", L"B", L"x", L"1"), "; only a comment\n[B]\r\nx=1\r\n");
}

TEST(IniFile, AnUnchangedValueIsNoChange) {
  IniFile ini = IniFile::Parse("[A]\r\n k = \"1\" \r\n");
  EXPECT_FALSE(ini.Set(L"a", L"K", L"1"));
  EXPECT_EQ(ini.Serialize(), "[A]\r\n k = \"1\" \r\n");
  EXPECT_TRUE(ini.Set(L"a", L"K", L""));
}

TEST(IniFile, AUtf8ByteOrderMarkStaysAndHidesTheFirstHeader) {
  IniFile ini = IniFile::Parse("\xEF\xBB\xBF[s]\r\nk=1\r\n");
  EXPECT_EQ(ini.GetEncoding(), IniFile::Encoding::Ansi);
  EXPECT_FALSE(ini.Find(L"s", L"k"));
  EXPECT_TRUE(ini.Set(L"s", L"k", L"2"));
  EXPECT_EQ(ini.Serialize(), "\xEF\xBB\xBF[s]\r\nk=1\r\n[s]\r\nk=2\r\n");
}

TEST(IniFile, Utf16LeStaysUtf16LeByteForByte) {
  // "[s]" CRLF "k=1" (no line break) and a stray odd byte at the end.
  const std::string before = Bytes("\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0001\0\x7F");
  IniFile ini = IniFile::Parse(before);
  EXPECT_EQ(ini.GetEncoding(), IniFile::Encoding::Utf16Le);
  EXPECT_EQ(ini.Serialize(), before);
  EXPECT_EQ(ini.Find(L"S", L"K"), L"1");
  ini.Set(L"s", L"k", L"\x4E00");
  EXPECT_EQ(ini.Serialize(), Bytes("\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0\x00\x4E"));
  ini.Set(L"t", L"x", L"1");
  EXPECT_EQ(ini.Serialize(), Bytes("\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0\x00\x4E"
                                   "\r\0\n\0[\0t\0]\0\r\0\n\0x\0=\0001\0\r\0\n\0"));
}

TEST(IniFile, WritesCp932AndAQuestionMarkForWhatItCannotHold) {
  EXPECT_EQ(Set("[s]\r\n", L"s", L"k", L"a\x00E9\x4E00\U0001F600"), "[s]\r\nk=a?\x88\xEA??\r\n");
}

TEST(IniFile, AnyBytesSerializeBackUnchanged) {
  std::mt19937 random(20261207);
  for (int round = 0; round < 50; ++round) {
    std::string bytes(static_cast<std::size_t>(random() % 4096), '\0');
    for (char& b : bytes) b = static_cast<char>(random() & 0xFF);
    if (round % 2 == 1 && bytes.size() >= 2) bytes.replace(0, 2, "\xFF\xFE");
    IniFile ini = IniFile::Parse(bytes);
    EXPECT_EQ(ini.Serialize(), bytes);
    // A write afterwards still finds its own value.
    ini.Set(L"Config", L"Interval", L"7");
    EXPECT_EQ(IniFile::Parse(ini.Serialize()).Find(L"config", L"interval"), L"7");
  }
}

}  // namespace
}  // namespace qv
