// ICMP echo on Linux: an ICMP datagram socket where net.ipv4.ping_group_range
// lets this process have one, else a raw ICMP socket (root or CAP_NET_RAW).
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>

#include "common/files.h"
#include "common/format.h"
#include "common/handles_posix.h"
#include "common/ipv4_text.h"
#include "common/text_util.h"
#include "monitor/checks/ping.h"

namespace qv {
namespace {

constexpr int kTimeoutMs = 3000;
constexpr std::size_t kPayloadSize = 32;
constexpr std::size_t kIcmpHeaderSize = 8;
constexpr std::uint8_t kEchoReply = 0;
constexpr std::uint8_t kDestinationUnreachable = 3;
constexpr std::uint8_t kEchoRequest = 8;
constexpr std::uint8_t kTimeExceeded = 11;
constexpr int kIcmpFilterOption = 1;  // ICMP_FILTER of <linux/icmp.h>, on SOL_RAW

std::uint16_t Read16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

void Write16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v & 0xFF);
}

std::uint16_t InternetChecksum(const std::uint8_t* data, std::size_t size) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < size; i += 2) sum += Read16(data + i);
  if (size % 2 != 0) sum += static_cast<std::uint32_t>(data[size - 1]) << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

std::uint16_t NextSequence() {
  static std::atomic<std::uint16_t> sequence{0};
  return static_cast<std::uint16_t>(sequence.fetch_add(1) + 1);
}

struct Request {
  std::uint32_t destination;  // network order, as in the IP header
  std::uint16_t id;           // ignored for a datagram socket: the kernel sets it
  std::uint16_t sequence;
  bool datagram;
};

enum class Verdict { Unrelated, Answered, Failed };

// An ICMP message as a raw socket sees it: IP header first.
Verdict JudgeRawPacket(const std::uint8_t* data, std::size_t size, const Request& request) {
  if (size < 20) return Verdict::Unrelated;
  const std::size_t ipHeader = static_cast<std::size_t>(data[0] & 0x0F) * 4;
  if (ipHeader < 20 || size < ipHeader + kIcmpHeaderSize) return Verdict::Unrelated;
  std::uint32_t source;
  std::memcpy(&source, data + 12, 4);
  const std::uint8_t* icmp = data + ipHeader;
  const std::size_t icmpSize = size - ipHeader;

  if (icmp[0] == kEchoReply) {
    const bool ours = source == request.destination && Read16(icmp + 4) == request.id &&
                      Read16(icmp + 6) == request.sequence;
    if (!ours) return Verdict::Unrelated;
    return icmp[1] == 0 ? Verdict::Answered : Verdict::Failed;
  }
  if (icmp[0] != kDestinationUnreachable && icmp[0] != kTimeExceeded) return Verdict::Unrelated;

  // The error quotes the IP header and the first 8 bytes of the packet it is about.
  const std::uint8_t* quoted = icmp + kIcmpHeaderSize;
  const std::size_t quotedSize = icmpSize - kIcmpHeaderSize;
  if (quotedSize < 20) return Verdict::Unrelated;
  const std::size_t quotedHeader = static_cast<std::size_t>(quoted[0] & 0x0F) * 4;
  if (quotedHeader < 20 || quotedSize < quotedHeader + kIcmpHeaderSize) return Verdict::Unrelated;
  std::uint32_t quotedDestination;
  std::memcpy(&quotedDestination, quoted + 16, 4);
  const std::uint8_t* quotedIcmp = quoted + quotedHeader;
  const bool ours = quoted[9] == IPPROTO_ICMP && quotedDestination == request.destination &&
                    quotedIcmp[0] == kEchoRequest && Read16(quotedIcmp + 4) == request.id &&
                    Read16(quotedIcmp + 6) == request.sequence;
  return ours ? Verdict::Failed : Verdict::Unrelated;
}

// An ICMP message as a datagram socket sees it: no IP header, and only
// replies to this socket's identifier; errors come through the error queue.
Verdict JudgeDatagram(const std::uint8_t* data, std::size_t size, std::uint32_t source,
                      const Request& request) {
  if (size < kIcmpHeaderSize || data[0] != kEchoReply) return Verdict::Unrelated;
  if (source != request.destination || Read16(data + 6) != request.sequence) {
    return Verdict::Unrelated;
  }
  return data[1] == 0 ? Verdict::Answered : Verdict::Failed;
}

UniqueFd OpenIcmpSocket(bool& datagram) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd >= 0) {
    datagram = true;
    int on = 1;
    // Without it an unconnected datagram socket never hears of ICMP errors.
    setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    return UniqueFd(fd);
  }
  datagram = false;
  fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd >= 0) {
    // Let only what can concern an echo through: less to wake up for.
    std::uint32_t blocked = ~((1u << kEchoReply) | (1u << kDestinationUnreachable) |
                              (1u << kTimeExceeded));
    setsockopt(fd, SOL_RAW, kIcmpFilterOption, &blocked, sizeof blocked);
  }
  return UniqueFd(fd);
}

bool WaitForReply(const UniqueFd& socket, const Request& request) {
  using Steady = std::chrono::steady_clock;
  const Steady::time_point deadline = Steady::now() + std::chrono::milliseconds(kTimeoutMs);
  std::uint8_t buffer[1500];
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - Steady::now()).count();
    if (left <= 0) return false;
    pollfd waiter{socket.Get(), POLLIN, 0};
    const int ready = poll(&waiter, 1, static_cast<int>(left));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (ready == 0) return false;
    if (waiter.revents & POLLERR) {
      // Only this socket's own request can be in its error queue.
      return false;
    }
    sockaddr_in from{};
    socklen_t fromSize = sizeof from;
    const ssize_t got = recvfrom(socket.Get(), buffer, sizeof buffer, 0,
                                 reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return false;
    }
    const std::size_t size = static_cast<std::size_t>(got);
    const Verdict verdict = request.datagram
                                ? JudgeDatagram(buffer, size, from.sin_addr.s_addr, request)
                                : JudgeRawPacket(buffer, size, request);
    if (verdict == Verdict::Answered) return true;
    if (verdict == Verdict::Failed) return false;
  }
}

}  // namespace

bool PingAddress(const std::wstring& address) {
  const std::optional<Ipv4Octets> octets = ParseIpv4Text(address);
  if (!octets) return false;
  Request request{};
  std::memcpy(&request.destination, octets->data(), 4);
  if (request.destination == 0xFFFFFFFFu) return false;  // limited broadcast

  UniqueFd socket = OpenIcmpSocket(request.datagram);
  if (!socket) return false;

  request.id = static_cast<std::uint16_t>(getpid() & 0xFFFF);
  request.sequence = NextSequence();

  std::uint8_t packet[kIcmpHeaderSize + kPayloadSize] = {};
  packet[0] = kEchoRequest;
  Write16(packet + 4, request.id);
  Write16(packet + 6, request.sequence);
  std::memcpy(packet + kIcmpHeaderSize, "Data Buffer", 11);
  Write16(packet + 2, InternetChecksum(packet, sizeof packet));

  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = request.destination;
  const ssize_t sent = sendto(socket.Get(), packet, sizeof packet, 0,
                              reinterpret_cast<const sockaddr*>(&to), sizeof to);
  if (sent != static_cast<ssize_t>(sizeof packet)) return false;
  return WaitForReply(socket, request);
}

std::optional<std::wstring> PingUnavailableReason() {
  bool datagram = false;
  if (OpenIcmpSocket(datagram)) return std::nullopt;
  std::wstring range = L"unknown";
  if (std::optional<std::string> text = ReadWholeFile(L"/proc/sys/net/ipv4/ping_group_range")) {
    for (char& c : *text) {
      if (c == '\t' || c == '\n') c = ' ';
    }
    range = std::wstring(TrimBlanks(Utf8ToWide(*text)));
  }
  return Format(L"no ICMP datagram socket (net.ipv4.ping_group_range is \"%s\" and holds none of this "
                L"account's groups) and no raw socket (needs root or CAP_NET_RAW)",
                range);
}

}  // namespace qv
