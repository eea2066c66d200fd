#include "checker.h"

namespace qv {

bool Checker::SendAlertMail(bool) { return false; }

}  // namespace qv
