// ICMP echo through the IP helper: one request, 3 s, success status only.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include <cstring>
#include <memory>

#include "common/ipv4_text.h"
#include "common/unique_handle.h"
#include "monitor/checks/ping.h"

namespace qv {
namespace {

constexpr DWORD kTimeoutMs = 3000;
constexpr WORD kPayloadSize = 32;
// The reply record is larger on 64-bit Windows than on 32-bit, and the API
// wants 8 bytes beyond record and payload; a smaller buffer fails every echo.
constexpr DWORD kReplySize = sizeof(ICMP_ECHO_REPLY) + kPayloadSize + 8;

struct IcmpHandleTraits {
  using Handle = HANDLE;
  static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) noexcept { IcmpCloseHandle(h); }
};
using UniqueIcmpHandle = UniqueHandle<IcmpHandleTraits>;

}  // namespace

bool PingAddress(const std::wstring& address) {
  // InetPtonW can fill in the address even when it rejects a trailing suffix
  // ("1.2.3.4 x"), so the text is judged whole by the shared parser instead.
  const std::optional<Ipv4Octets> octets = ParseIpv4Text(address);
  if (!octets) return false;
  IPAddr destination;
  std::memcpy(&destination, octets->data(), sizeof destination);
  if (destination == 0xFFFFFFFFu) return false;  // limited broadcast

  const UniqueIcmpHandle icmp(IcmpCreateFile());
  if (!icmp) return false;

  char payload[kPayloadSize] = "Data Buffer";
  auto reply = std::make_unique<unsigned char[]>(kReplySize);
  const DWORD replies = IcmpSendEcho(icmp.Get(), destination, payload, kPayloadSize, nullptr,
                                     reply.get(), kReplySize, kTimeoutMs);
  if (replies == 0) return false;
  ICMP_ECHO_REPLY first;
  std::memcpy(&first, reply.get(), sizeof first);
  return first.Status == IP_SUCCESS;
}

// IcmpCreateFile needs no privilege.
std::optional<std::wstring> PingUnavailableReason() { return std::nullopt; }

}  // namespace qv
