#include "common/text_util.h"

#include <climits>

namespace qv {

void ReplaceAll(std::wstring& text, std::wstring_view from, std::wstring_view to) {
  if (from.empty()) return;
  std::wstring out;
  std::size_t pos = 0;
  for (;;) {
    std::size_t hit = text.find(from, pos);
    if (hit == std::wstring::npos) break;
    out.append(text, pos, hit - pos);
    out.append(to);
    pos = hit + from.size();
  }
  if (pos == 0) return;
  out.append(text, pos, std::wstring::npos);
  text.swap(out);
}

wchar_t FoldCase(wchar_t c) {
  const auto u = static_cast<std::uint32_t>(c);
  if (u < 0x80) return (u >= 'a' && u <= 'z') ? static_cast<wchar_t>(u - 32) : c;
  if ((u >= 0xE0 && u <= 0xFE && u != 0xF7)) return static_cast<wchar_t>(u - 32);
  if (u >= 0x3B1 && u <= 0x3C9 && u != 0x3C2) return static_cast<wchar_t>(u - 32);  // Greek
  if (u >= 0x430 && u <= 0x44F) return static_cast<wchar_t>(u - 32);                // Cyrillic
  if (u >= 0x450 && u <= 0x45F) return static_cast<wchar_t>(u - 80);
  if (u >= 0xFF41 && u <= 0xFF5A) return static_cast<wchar_t>(u - 32);              // full width
  return c;
}

static wchar_t LowerCase(wchar_t c) {
  const auto u = static_cast<std::uint32_t>(c);
  if (u < 0x80) return (u >= 'A' && u <= 'Z') ? static_cast<wchar_t>(u + 32) : c;
  if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<wchar_t>(u + 32);
  if (u >= 0x391 && u <= 0x3A9) return static_cast<wchar_t>(u + 32);
  if (u >= 0x410 && u <= 0x42F) return static_cast<wchar_t>(u + 32);
  if (u >= 0x400 && u <= 0x40F) return static_cast<wchar_t>(u + 80);
  if (u >= 0xFF21 && u <= 0xFF3A) return static_cast<wchar_t>(u + 32);
  return c;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

int CompareNoCase(std::wstring_view a, std::wstring_view b) {
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    auto x = static_cast<std::uint32_t>(LowerCase(a[i]));
    auto y = static_cast<std::uint32_t>(LowerCase(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// Value of a Unicode decimal digit as the UCRT recognises them, or -1.
static int DigitValue(wchar_t c) {
  static constexpr std::uint32_t zeros[] = {
      0x0030, 0x0660, 0x06F0, 0x0966, 0x09E6, 0x0A66, 0x0AE6, 0x0B66, 0x0C66,
      0x0CE6, 0x0D66, 0x0E50, 0x0ED0, 0x0F20, 0x1040, 0x17E0, 0x1810, 0xFF10};
  const auto u = static_cast<std::uint32_t>(c);
  for (std::uint32_t z : zeros) {
    if (u >= z && u < z + 10) return static_cast<int>(u - z);
  }
  return -1;
}

static bool IsCrtSpace(wchar_t c) {
  return c == L' ' || (c >= L'\t' && c <= L'\r') || c == 0x3000 || c == 0x85 || c == 0xA0 ||
         c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
         c == 0x202F || c == 0x205F;
}

std::int32_t Wtoi(std::wstring_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsCrtSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  std::int64_t value = 0;
  bool overflow = false;
  for (; i < text.size(); ++i) {
    int d = DigitValue(text[i]);
    if (d < 0) break;
    if (!overflow) {
      value = value * 10 + d;
      if (value > static_cast<std::int64_t>(INT_MAX) + 1) overflow = true;
    }
  }
  if (negative) {
    if (overflow || -value < INT_MIN) return INT_MIN;
    return static_cast<std::int32_t>(-value);
  }
  if (overflow || value > INT_MAX) return INT_MAX;
  return static_cast<std::int32_t>(value);
}

std::wstring DoubleBackslashes(std::wstring_view text) {
  std::wstring out(text);
  ReplaceAll(out, L"\\", L"\\\\");
  return out;
}

std::u16string WideToUtf16(std::wstring_view wide) {
  std::u16string out;
  out.reserve(wide.size());
  for (wchar_t wc : wide) {
    auto c = static_cast<std::uint32_t>(wc);
    if constexpr (sizeof(wchar_t) == 4) {
      if (c >= 0x10000 && c <= 0x10FFFF) {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        continue;
      }
      if (c > 0x10FFFF) c = 0xFFFD;
    }
    out.push_back(static_cast<char16_t>(c));
  }
  return out;
}

std::wstring Utf16ToWide(std::u16string_view utf16) {
  std::wstring out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    std::uint32_t c = utf16[i];
    if constexpr (sizeof(wchar_t) == 4) {
      if (c >= 0xD800 && c < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
          utf16[i + 1] < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
        ++i;
      }
    }
    out.push_back(static_cast<wchar_t>(c));
  }
  return out;
}

static void AppendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string WideToUtf8(std::wstring_view wide) {
  std::u16string u16 = WideToUtf16(wide);
  std::string out;
  out.reserve(u16.size());
  for (std::size_t i = 0; i < u16.size(); ++i) {
    std::uint32_t c = u16[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < u16.size() && u16[i + 1] >= 0xDC00 &&
        u16[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (u16[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::wstring Utf8ToWide(std::string_view utf8) {
  std::u16string u16;
  u16.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    auto b = static_cast<unsigned char>(utf8[i]);
    std::uint32_t c = 0xFFFD;
    std::size_t len = 1;
    if (b < 0x80) {
      c = b;
    } else if (b >= 0xC2 && b < 0xF5) {
      std::size_t need = b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
      std::uint32_t v = b & (0x3F >> need);
      bool ok = true;
      for (std::size_t k = 1; ok && k <= need; ++k) {
        if (i + k >= utf8.size()) { ok = false; break; }
        auto t = static_cast<unsigned char>(utf8[i + k]);
        if ((t & 0xC0) != 0x80) { ok = false; break; }
        v = (v << 6) | (t & 0x3F);
      }
      std::uint32_t min = need == 1 ? 0x80 : need == 2 ? 0x800 : 0x10000;
      if (ok && v >= min && v <= 0x10FFFF && !(v >= 0xD800 && v < 0xE000)) {
        c = v;
        len = need + 1;
      }
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      u16.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      u16.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      u16.push_back(static_cast<char16_t>(c));
    }
    i += len;
  }
  return Utf16ToWide(u16);
}

std::wstring_view TrimBlanks(std::wstring_view text) {
  const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<std::int64_t> ParseDigits(std::wstring_view text, std::size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits || maxDigits > 18) return std::nullopt;
  std::int64_t value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = value * 10 + (c - L'0');
  }
  return value;
}

}  // namespace qv
