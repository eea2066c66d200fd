#pragma once
// Code page 932 (Japanese Windows ANSI) conversion, identical on both platforms:
// only characters with a round-trip mapping are encoded, everything else
// becomes "?" (one per UTF-16 code unit, as WideCharToMultiByte does).
#include <string>
#include <string_view>

namespace qv {

std::string EncodeCp932(std::wstring_view text);
// Undefined codes decode as Windows does: lone 0x80 -> U+0080,
// 0xA0/0xFD-0xFF -> U+F8F0..U+F8F3; a lead byte takes the next byte (any but
// NUL) with it, and an undefined pair or a lead byte at the end -> U+30FB.
std::wstring DecodeCp932(std::string_view bytes);
// The same into `out`, whose memory is reused.
void DecodeCp932(std::string_view bytes, std::wstring& out);

}  // namespace qv
