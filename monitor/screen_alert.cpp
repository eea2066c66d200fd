#include "checker.h"

namespace qv {

bool Checker::ShowScreenAlert(bool, std::int64_t) { return false; }

}  // namespace qv
