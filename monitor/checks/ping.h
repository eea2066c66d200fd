#pragma once
#include <optional>
#include <string>

namespace qv {

// One ICMP echo to an IPv4 address in dotted-decimal text; true when an echo
// reply with success status came back within 3 seconds.
bool PingAddress(const std::wstring& address);

// Why this process cannot send an ICMP echo at all (on Linux: neither the
// datagram socket nor the raw one is allowed to it); nothing when it can.
std::optional<std::wstring> PingUnavailableReason();

}  // namespace qv
