#include "common/format.h"

namespace qv::format_detail {

std::wstring Render(std::wstring_view text, const Arg* args, std::size_t count) {
  std::wstring out;
  out.reserve(text.size() + 16 * count);
  std::size_t next = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c != L'%' || i + 1 >= text.size()) {
      out.push_back(c);
      continue;
    }
    wchar_t conversion = text[++i];
    if (conversion == L'%') {
      out.push_back(L'%');
      continue;
    }
    const Arg& a = args[next < count ? next : count];
    ++next;
    if (conversion == L's') {
      out.append(a.text);
    } else {
      // %d of an unsigned value and %u of a signed one reinterpret 32 bits, as printf does.
      std::uint64_t magnitude;
      bool negative = false;
      if (conversion == L'd') {
        std::int64_t v = a.kind == ArgKind::Unsigned ? static_cast<std::int32_t>(a.u) : a.s;
        negative = v < 0;
        magnitude = negative ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
      } else {
        magnitude = a.kind == ArgKind::Signed ? static_cast<std::uint32_t>(a.s) : a.u;
      }
      wchar_t digits[24];
      int n = 0;
      do {
        digits[n++] = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
      } while (magnitude != 0);
      if (negative) out.push_back(L'-');
      while (n > 0) out.push_back(digits[--n]);
    }
  }
  return out;
}

}  // namespace qv::format_detail
