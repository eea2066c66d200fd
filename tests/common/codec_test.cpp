#include "codec.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 15]);
  }
  return out;
}

TEST(Cp932, EncodesJapaneseAndAsciiAsWindowsDoes) {
  EXPECT_EQ(Hex(EncodeCp932(L"開始")), "8A 4A 8E 6E");
  EXPECT_EQ(Hex(EncodeCp932(L"a\\~")), "61 5C 7E");
  EXPECT_EQ(Hex(EncodeCp932(L"\xFF5E\x2225\xFF0D")), "81 60 81 61 81 7C");
  EXPECT_EQ(Hex(EncodeCp932(L"\x2460\x2170\xFFE2")), "87 40 FA 40 81 CA");
  EXPECT_EQ(Hex(EncodeCp932(L"\xFF71")), "B1");
}

TEST(Cp932, WritesAQuestionMarkForWhatHasNoRoundTrip) {
  // JIS-style code points and Latin letters have only best-fit mappings.
  EXPECT_EQ(EncodeCp932(L"\x301C\x2212\x00A5\x00E9"), "????");
  // A character outside the BMP is a surrogate pair on Windows: two marks.
  EXPECT_EQ(EncodeCp932(std::wstring(L"x") + std::wstring(L"\U0001F600")), "x??");
}

TEST(Cp932, DecodesWhatItEncodes) {
  std::wstring text = L"サービス開始|-|DeviceManagerエラーしきい値を超過";
  EXPECT_EQ(DecodeCp932(EncodeCp932(text)), text);
  EXPECT_EQ(DecodeCp932("\x5C\x7E"), L"\\~");
}

}  // namespace
}  // namespace qv
