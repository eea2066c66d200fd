#include <iconv.h>

#include <array>
#include <cstring>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "common/codec.h"

namespace qv {
namespace {

// Both directions as tables, built once from glibc's "CP932" (never
// "SHIFT_JIS", whose 0x5C and 0x7E are not ASCII). Encoding prefers the code
// Windows prefers where CP932 has duplicates: JIS rows, then NEC row 13, then
// the IBM extension, then the NEC-selected IBM rows.
struct Tables {
  std::array<char16_t, 256> single{};
  std::vector<char16_t> dbcs = std::vector<char16_t>(65536, 0);  // 0 = undefined
  std::vector<std::uint16_t> encode = std::vector<std::uint16_t>(65536, 0xFFFF);
};

bool IsLead(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

char32_t DecodeOne(iconv_t cd, const unsigned char* in, std::size_t len) {
  char buffer[8] = {};
  char* src = reinterpret_cast<char*>(const_cast<unsigned char*>(in));
  std::size_t srcLeft = len;
  char* dst = buffer;
  std::size_t dstLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1) || srcLeft != 0 ||
      dstLeft != 4) {
    return 0xFFFFFFFF;
  }
  char32_t c;
  std::memcpy(&c, buffer, 4);
  return c;
}

const Tables& GetTables() {
  static const std::unique_ptr<Tables> tables = [] {
    auto t = std::make_unique<Tables>();
    iconv_t cd = iconv_open("UTF-32LE", "CP932");
    for (unsigned b = 0; b < 256; ++b) {
      if (b < 0x80) {
        t->single[b] = static_cast<char16_t>(b);
      } else if (b >= 0xA1 && b <= 0xDF) {
        t->single[b] = static_cast<char16_t>(0xFF61 + (b - 0xA1));
      } else if (b == 0x80) {
        t->single[b] = 0x0080;
      } else if (b == 0xA0) {
        t->single[b] = 0xF8F0;
      } else if (b >= 0xFD) {
        t->single[b] = static_cast<char16_t>(0xF8F1 + (b - 0xFD));
      }
    }
    auto add_rows = [&](unsigned first, unsigned last) {
      for (unsigned lead = first; lead <= last; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
          if (trail == 0x7F) continue;
          const unsigned char pair[2] = {static_cast<unsigned char>(lead),
                                         static_cast<unsigned char>(trail)};
          char32_t c = cd == reinterpret_cast<iconv_t>(-1) ? 0xFFFFFFFF : DecodeOne(cd, pair, 2);
          if (c == 0xFFFFFFFF || c > 0xFFFF) continue;
          unsigned code = (lead << 8) | trail;
          t->dbcs[code] = static_cast<char16_t>(c);
          if (t->encode[c] == 0xFFFF) t->encode[c] = static_cast<std::uint16_t>(code);
        }
      }
    };
    add_rows(0x81, 0x86);
    add_rows(0x88, 0x9F);
    add_rows(0xE0, 0xEA);
    add_rows(0x87, 0x87);
    add_rows(0xFA, 0xFC);
    add_rows(0xED, 0xEE);
    add_rows(0xEB, 0xEC);
    add_rows(0xEF, 0xF9);
    // Every defined single byte round-trips, the Windows-only ones included.
    for (unsigned b = 0; b < 256; ++b) {
      if (t->single[b] != 0 || b == 0) t->encode[t->single[b]] = static_cast<std::uint16_t>(b);
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    return t;
  }();
  return *tables;
}

}  // namespace

std::string EncodeCp932(std::wstring_view text) {
  const Tables& t = GetTables();
  std::string out;
  out.reserve(text.size() * 2);
  for (wchar_t wc : text) {
    auto c = static_cast<std::uint32_t>(wc);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if (c > 0xFFFF) {
      out.append(c <= 0x10FFFF ? "??" : "?");  // a surrogate pair on Windows
      continue;
    }
    std::uint16_t code = t.encode[c];
    if (code == 0xFFFF) {
      out.push_back('?');
    } else if (code < 0x100) {
      out.push_back(static_cast<char>(code));
    } else {
      out.push_back(static_cast<char>(code >> 8));
      out.push_back(static_cast<char>(code & 0xFF));
    }
  }
  return out;
}

std::wstring DecodeCp932(std::string_view bytes) {
  std::wstring out;
  DecodeCp932(bytes, out);
  return out;
}

void DecodeCp932(std::string_view bytes, std::wstring& out) {
  const Tables& t = GetTables();
  // Never more characters than bytes: written in place, cut to length at the end.
  out.resize(bytes.size());
  std::size_t n = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    auto b = static_cast<unsigned char>(bytes[i]);
    if (IsLead(b)) {
      if (i + 1 < bytes.size()) {
        auto trail = static_cast<unsigned char>(bytes[i + 1]);
        char16_t c = t.dbcs[(static_cast<unsigned>(b) << 8) | trail];
        // Windows takes a lead byte and any following byte but NUL as one
        // character, U+30FB when the pair is undefined.
        if (trail != 0) ++i;
        out[n++] = static_cast<wchar_t>(c != 0 ? c : 0x30FB);
        continue;
      }
      out[n++] = static_cast<wchar_t>(0x30FB);
      continue;
    }
    out[n++] = static_cast<wchar_t>(t.single[b]);
  }
  out.resize(n);
}

}  // namespace qv
