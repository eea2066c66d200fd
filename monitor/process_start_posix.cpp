#include "process_start.h"

namespace qv {

bool StartCommandDetached(const std::wstring&, const std::wstring&, std::wstring&) { return false; }

}  // namespace qv
