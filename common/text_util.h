#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// Replaces every occurrence of `from` (matched with case) by `to`.
void ReplaceAll(std::wstring& text, std::wstring_view from, std::wstring_view to);

// Simple per-code-unit case folding as the Windows profile functions and
// _wcsicmp apply it: ASCII, Latin-1, Greek, Cyrillic and full-width letters.
wchar_t FoldCase(wchar_t c);
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
// <0, 0, >0 like _wcsicmp / CString::CompareNoCase (compares lower-cased units).
int CompareNoCase(std::wstring_view a, std::wstring_view b);

// MSVC _wtoi: optional white space, sign, decimal digits (Unicode decimal
// digits included); saturates to the 32-bit range; no digits gives 0.
std::int32_t Wtoi(std::wstring_view text);

// Spaces and tabs removed at both ends.
std::wstring_view TrimBlanks(std::wstring_view text);

// A number written as plain decimal digits, at most `maxDigits` of them:
// nothing for "", "-1", "25x" or " 7" (mistakes worth reporting, where the
// profile's integer reading would quietly make 0 of them).
std::optional<std::int64_t> ParseDigits(std::wstring_view text, std::size_t maxDigits);

// Doubles every backslash (the escaped form a WQL string literal needs).
std::wstring DoubleBackslashes(std::wstring_view text);

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

// UTF-16 code units <-> wide strings (identity on Windows, surrogates on Linux).
std::u16string WideToUtf16(std::wstring_view wide);
std::wstring Utf16ToWide(std::u16string_view utf16);

}  // namespace qv
