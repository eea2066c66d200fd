#ifdef _WIN32
#include <winsock2.h>  // before anything that may bring in windows.h
#include <ws2tcpip.h>
#endif

#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/ipv4_text.h"
#include "monitor/checks/ping.h"

namespace qv {
namespace {

std::chrono::milliseconds TimePing(const std::wstring& address, bool& answered) {
  const auto start = std::chrono::steady_clock::now();
  answered = PingAddress(address);
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                start);
}

TEST(Ipv4Text, AcceptsFourDecimalParts) {
  EXPECT_EQ(ParseIpv4Text(L"127.0.0.1"), (Ipv4Octets{127, 0, 0, 1}));
  EXPECT_EQ(ParseIpv4Text(L"0.0.0.0"), (Ipv4Octets{0, 0, 0, 0}));
  EXPECT_EQ(ParseIpv4Text(L"255.255.255.255"), (Ipv4Octets{255, 255, 255, 255}));
  EXPECT_EQ(ParseIpv4Text(L"192.168.1.10"), (Ipv4Octets{192, 168, 1, 10}));
}

const wchar_t* const kRejected[] = {
    L"",          L"server01",   L"::1",        L"1.2.3",       L"1.2.3.4.",  L"1..2.3",
    L"01.2.3.4",  L"1.2.3.04",   L"0.0.0.00",   L"256.1.1.1",   L"1.2.3.256", L"1.2.3.1000",
    L" 1.2.3.4",  L"1.2.3.4 ",   L"1.2.3.4\t",  L"1.2.3.4x",    L"1.2.3.4/24", L"0x1.2.3.4",
    L"1.2.3.-4",  L"1.2.3.+4",   L"4294967295", L"1.2.3.4.5",   L"\uFF11.2.3.4",
};

TEST(Ipv4Text, RejectsEverythingButStrictDottedDecimal) {
  for (const wchar_t* text : kRejected) {
    EXPECT_FALSE(ParseIpv4Text(text).has_value()) << "accepted: [" << std::wstring(text) << "]";
  }
}

#ifdef _WIN32
// Windows decides what an address text is; the parser must agree with it.
TEST(Ipv4Text, AgreesWithInetPtonW) {
  std::vector<std::wstring> texts(std::begin(kRejected), std::end(kRejected));
  texts.insert(texts.end(), {L"127.0.0.1", L"0.0.0.0", L"255.255.255.255", L"10.20.30.40"});
  for (const std::wstring& text : texts) {
    IN_ADDR address{};
    const bool windows = InetPtonW(AF_INET, text.c_str(), &address) == 1;
    const std::optional<Ipv4Octets> ours = ParseIpv4Text(text);
    ASSERT_EQ(ours.has_value(), windows) << "[" << text << "]";
    if (ours) {
      EXPECT_EQ(0, std::memcmp(ours->data(), &address, 4)) << "[" << text << "]";
    }
  }
}
#endif

TEST(PingAddress, LoopbackAnswers) {
  bool answered = false;
  TimePing(L"127.0.0.1", answered);
  EXPECT_TRUE(answered);
  EXPECT_TRUE(PingAddress(L"127.0.0.2"));  // the whole of 127/8 is loopback
}

TEST(PingAddress, TextThatIsNoAddressFailsWithoutWaiting) {
  // No packet is sent for these, so no answer can be waited for either.
  for (const wchar_t* text : {L"server01", L"255.255.255.255", L"1.2.3", L"01.2.3.4", L"", L"::1",
                              L"127.0.0.1 "}) {
    bool answered = true;
    const auto took = TimePing(text, answered);
    EXPECT_FALSE(answered) << "[" << std::wstring(text) << "]";
    EXPECT_LT(took.count(), 1000) << "[" << std::wstring(text) << "]";
  }
}

TEST(PingAddress, CallsFromSeveralThreadsEachGetTheirOwnAnswer) {
  std::vector<std::thread> threads;
  std::atomic<int> answered{0};
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&answered] {
      for (int j = 0; j < 5; ++j) {
        if (PingAddress(L"127.0.0.1")) ++answered;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(answered.load(), 40);
}

}  // namespace
}  // namespace qv
