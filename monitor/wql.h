#pragma once
// The part of WQL the device query uses, for platforms without WMI:
//   Select <props> from <class> where <property> like '<literal>'
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
// case-insensitive.
bool WqlLike(std::wstring_view text, std::wstring_view pattern);

}  // namespace qv
