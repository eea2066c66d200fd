#pragma once
#include <string>

namespace qv {

// One ICMP echo to an IPv4 address in dotted-decimal text; true when an echo
// reply with success status came back within 3 seconds.
bool PingAddress(const std::wstring& address);

}  // namespace qv
