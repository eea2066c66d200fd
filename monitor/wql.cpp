#include "wql.h"

namespace qv {

std::optional<WqlLikeQuery> ParseWqlLikeQuery(std::wstring_view) { return std::nullopt; }

bool WqlLike(std::wstring_view, std::wstring_view) { return false; }

}  // namespace qv
