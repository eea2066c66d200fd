#include "common/ipv4_text.h"

namespace qv {

std::optional<Ipv4Octets> ParseIpv4Text(std::wstring_view text) {
  Ipv4Octets octets{};
  std::size_t pos = 0;
  for (std::size_t part = 0; part < octets.size(); ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != L'.') return std::nullopt;
      ++pos;
    }
    const std::size_t start = pos;
    unsigned value = 0;
    while (pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9') {
      value = value * 10 + static_cast<unsigned>(text[pos] - L'0');
      if (value > 255) return std::nullopt;
      ++pos;
    }
    const std::size_t digits = pos - start;
    if (digits == 0) return std::nullopt;
    if (digits > 1 && text[start] == L'0') return std::nullopt;  // no octal look-alikes
    octets[part] = static_cast<std::uint8_t>(value);
  }
  if (pos != text.size()) return std::nullopt;
  return octets;
}

}  // namespace qv
