#pragma once
// Which of the two checks: what the check cycle hands to the alerts and to
// whoever keeps account of the cycle.

namespace qv {

enum class CheckKind { Device, Ping };

}  // namespace qv
