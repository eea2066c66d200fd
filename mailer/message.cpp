#include "mailer/message.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include "common/system.h"
#include "common/text_util.h"

namespace qv::mailer {
namespace {

constexpr std::size_t kLineLimit = 78;
constexpr std::size_t kBodyLineLength = 76;
// 39 bytes make 52 base64 characters: "=?UTF-8?B?" + 52 + "?=" is 64, so
// even "Subject: " and the word stay within 76 characters (RFC 2047).
constexpr std::size_t kWordBytes = 39;

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::string TwoDigits(int value) {
  return {static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
}

bool IsPlainAscii(std::string_view bytes) {
  for (char c : bytes) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return bytes.find("=?") == std::string_view::npos;
}

// Characters on the last line of `text`.
std::size_t Column(const std::string& text) {
  const std::size_t newline = text.rfind('\n');
  return newline == std::string::npos ? text.size() : text.size() - newline - 1;
}

std::string FormatMailbox(const Mailbox& box) {
  const std::string address = "<" + WideToUtf8(box.address) + ">";
  if (box.displayName.empty()) return WideToUtf8(box.address);
  const std::string name = WideToUtf8(box.displayName);
  if (IsPlainAscii(name) && name.size() < kLineLimit / 2) {
    std::string quoted = "\"";
    for (char c : name) {
      if (c == '\\') quoted += '\\';
      quoted += c;
    }
    return quoted + "\" " + address;
  }
  return EncodeHeaderText(box.displayName, kLineLimit) + " " + address;
}

// "To: a, b" folded before a mailbox that would pass the line limit.
std::string AddressHeader(const char* name, const std::vector<Mailbox>& list) {
  std::string header = std::string(name) + ":";
  bool first = true;
  for (const Mailbox& box : list) {
    const std::string token = FormatMailbox(box);
    if (!first) header += ",";
    first = false;
    const std::size_t firstLine = std::min(token.find('\r'), token.size());
    header += Column(header) + 1 + firstLine > kLineLimit && Column(header) > 1 ? "\r\n " : " ";
    header += token;
  }
  return header + "\r\n";
}

}  // namespace

std::optional<LocalTime> LocalTimeAt(std::int64_t seconds) {
  const std::wstring text = FormatLocalTime(seconds, L"%Y %m %d %H %M %S");
  LocalTime t;
  if (std::swscanf(text.c_str(), L"%d %d %d %d %d %d", &t.year, &t.month, &t.day, &t.hour, &t.minute,
                   &t.second) != 6) {
    return std::nullopt;
  }
  const std::int64_t local =
      DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
  const std::int64_t diff = local - seconds;
  // Rounded to whole minutes: a leap second shown as :60 must not skew it.
  t.offsetMinutes = static_cast<int>((diff >= 0 ? diff + 30 : diff - 30) / 60);
  return t;
}

std::string FormatDate(const LocalTime& t) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::int64_t days = DaysFromCivil(t.year, t.month, t.day);
  const auto weekday = static_cast<std::size_t>(((days + 4) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
  const int offset = t.offsetMinutes < 0 ? -t.offsetMinutes : t.offsetMinutes;
  return std::string(kDays[weekday]) + ", " + TwoDigits(t.day) + " " +
         kMonths[(t.month - 1 + 12) % 12] + " " + std::to_string(t.year) + " " + TwoDigits(t.hour) + ":" +
         TwoDigits(t.minute) + ":" + TwoDigits(t.second) + " " + (t.offsetMinutes < 0 ? "-" : "+") +
         TwoDigits(offset / 60) + TwoDigits(offset % 60);
}

std::string Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      v = (v << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      out += k <= n ? kAlphabet[(v >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return out;
}

std::string EncodeHeaderText(std::wstring_view text, std::size_t used) {
  const std::string utf8 = WideToUtf8(text);
  if (IsPlainAscii(utf8) && used + utf8.size() <= kLineLimit) return utf8;
  std::string out;
  std::size_t start = 0;
  while (start < utf8.size()) {
    std::size_t end = std::min(start + kWordBytes, utf8.size());
    // Never split a UTF-8 sequence across two words.
    while (end < utf8.size() && end > start + 1 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) {
      --end;
    }
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + Base64(std::string_view(utf8).substr(start, end - start)) + "?=";
    start = end;
  }
  return out;
}

std::string NewMessageId(std::int64_t seconds, std::wstring_view senderAddress) {
  std::random_device device;
  const std::uint64_t random = (static_cast<std::uint64_t>(device()) << 32) ^ device();
  char unique[48];
  std::snprintf(unique, sizeof unique, "%llx.%016llx", static_cast<unsigned long long>(seconds),
                static_cast<unsigned long long>(random));
  const std::size_t at = senderAddress.rfind(L'@');
  const std::wstring domain(at == std::wstring_view::npos ? L"localhost" : senderAddress.substr(at + 1));
  return "<" + std::string(unique) + "@" + WideToUtf8(domain) + ">";
}

std::string ComposeMessage(const MailSettings& s, const LocalTime& date, std::string_view messageId) {
  std::string m;
  m += "Date: " + FormatDate(date) + "\r\n";
  m += "Message-ID: " + std::string(messageId) + "\r\n";
  m += "MIME-Version: 1.0\r\n";
  m += AddressHeader("From", {s.from});
  m += AddressHeader("To", s.to);
  if (!s.cc.empty()) m += AddressHeader("Cc", s.cc);
  m += "Subject: " + EncodeHeaderText(s.subject, 9) + "\r\n";
  m += "Content-Type: text/plain; charset=UTF-8\r\n";
  m += "Content-Transfer-Encoding: base64\r\n";
  m += "\r\n";
  const std::string body = Base64(WideToUtf8(s.body));
  for (std::size_t i = 0; i < body.size(); i += kBodyLineLength) {
    m += body.substr(i, kBodyLineLength) + "\r\n";
  }
  return m;
}

}  // namespace qv::mailer
