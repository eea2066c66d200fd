#include "common/codec.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace qv {
namespace {

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
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

TEST(Cp932, UndefinedAndWindowsOnlyCodesDecodeAsWindowsDoes) {
  EXPECT_EQ(DecodeCp932("\x80\xA0\xFD\xFE\xFF"), L"\x0080\xF8F0\xF8F1\xF8F2\xF8F3");
  EXPECT_EQ(EncodeCp932(L"\x0080\xF8F0\xF8F1\xF8F2\xF8F3"), "\x80\xA0\xFD\xFE\xFF");
  // A lead byte takes any following byte but NUL; alone at the end it is U+30FB.
  EXPECT_EQ(DecodeCp932("\x81\x0D" "a"), L"\x30FB" L"a");
  EXPECT_EQ(DecodeCp932("\x85\x40" "a"), L"\x30FB" L"a");
  EXPECT_EQ(DecodeCp932(std::string("\x81\0a", 3)), std::wstring(L"\x30FB\0a", 3));
  EXPECT_EQ(DecodeCp932("a\x81"), L"a\x30FB");
}

// FNV-1a over every conversion of one code unit or one byte pair, in the same
// order on both platforms: natively it checks our tables, under Wine it checks
// the constants against WideCharToMultiByte/MultiByteToWideChar themselves.
struct Fnv {
  std::uint64_t h = 14695981039346656037ull;
  void Add(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      h ^= (v >> (8 * i)) & 0xFF;
      h *= 1099511628211ull;
    }
  }
};

TEST(Cp932, EveryConversionEqualsTheWindowsTables) {
  Fnv encode;
  for (std::uint32_t u = 0; u < 0x10000; ++u) {
    if (u >= 0xD800 && u < 0xE000) continue;
    std::string bytes = EncodeCp932(std::wstring(1, static_cast<wchar_t>(u)));
    encode.Add(u);
    encode.Add(static_cast<std::uint32_t>(bytes.size()));
    for (char c : bytes) encode.Add(static_cast<unsigned char>(c));
  }
  Fnv decode;
  for (std::uint32_t pair = 0; pair < 0x10000; ++pair) {
    std::string bytes;
    if (pair >= 0x100) bytes.push_back(static_cast<char>(pair >> 8));
    bytes.push_back(static_cast<char>(pair & 0xFF));
    std::wstring text = DecodeCp932(bytes);
    decode.Add(pair);
    decode.Add(static_cast<std::uint32_t>(text.size()));
    for (wchar_t c : text) decode.Add(static_cast<std::uint32_t>(c));
  }
  EXPECT_EQ(encode.h, 0xb44b431630e6b5caull) << std::hex << encode.h;
  EXPECT_EQ(decode.h, 0x1b11f4d8539cd78cull) << std::hex << decode.h;
}

}  // namespace
}  // namespace qv
