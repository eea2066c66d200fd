#pragma once
// IPv4 dotted-decimal text as InetPtonW(AF_INET) accepts it: exactly four
// decimal parts 0..255 separated by ".", no leading zeros, no signs, blanks,
// prefix or suffix. Shared by both platforms so they accept the same texts.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace qv {

using Ipv4Octets = std::array<std::uint8_t, 4>;  // in network order: a.b.c.d

std::optional<Ipv4Octets> ParseIpv4Text(std::wstring_view text);

}  // namespace qv
