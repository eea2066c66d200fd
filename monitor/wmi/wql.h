#pragma once
// The part of WQL the device query uses, for platforms without WMI:
//   Select <props> from <class> where <property> like '<literal>'
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

struct WqlLikeQuery {
  std::vector<std::wstring> properties;
  std::wstring className;
  std::wstring property;
  std::wstring pattern;  // the literal, unescaped
};

// Nothing for a query that is not of that form (an invalid query).
std::optional<WqlLikeQuery> ParseWqlLikeQuery(std::wstring_view query);

// WQL LIKE: %, _, [set], [a=f] ranges, [^set]; the whole text must match;
// case-insensitive. A "[" without its "]" matches nothing.
bool WqlLike(std::wstring_view text, std::wstring_view pattern);

// The device query for a DeviceID prefix that is already escaped for a WQL
// literal; the prefix goes in unchanged, wildcards and quotes included.
std::wstring DeviceQueryText(const std::wstring& escapedPrefix);

// HRESULTs both platforms report.
inline constexpr std::int32_t kWbemNotFound = static_cast<std::int32_t>(0x80041002);
inline constexpr std::int32_t kWbemInvalidClass = static_cast<std::int32_t>(0x80041010);
inline constexpr std::int32_t kWbemInvalidQuery = static_cast<std::int32_t>(0x80041017);
inline constexpr std::int32_t kWbemLocalCredentials = static_cast<std::int32_t>(0x80041064);
inline constexpr std::int32_t kRpcServerUnavailable = static_cast<std::int32_t>(0x800706BA);
inline constexpr std::int32_t kComNotImplemented = static_cast<std::int32_t>(0x80004001);
inline constexpr std::int32_t kComPointer = static_cast<std::int32_t>(0x80004003);

}  // namespace qv
