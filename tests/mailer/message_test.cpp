#include "mailer/message.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/text_util.h"
#include "tests/support/test_support.h"

namespace qv::mailer {
namespace {

std::string Unbase64(std::string_view text) {
  static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    const std::size_t v = kAlphabet.find(c);
    if (v == std::string::npos) continue;  // padding, line ends
    bits = (bits << 6) | static_cast<std::uint32_t>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return out;
}

bool IsWholeUtf8(std::string_view bytes) { return WideToUtf8(Utf8ToWide(bytes)) == bytes; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start != text.size()) lines.push_back(text.substr(start));
  return lines;
}

// Decodes a header value made of encoded words (or plain text) as a reader would.
std::string DecodeHeader(const std::string& value) {
  std::string out;
  std::size_t pos = 0;
  if (value.find("=?") == std::string::npos) return value;
  while ((pos = value.find("=?UTF-8?B?", pos)) != std::string::npos) {
    const std::size_t end = value.find("?=", pos + 10);
    out += Unbase64(value.substr(pos + 10, end - pos - 10));
    pos = end + 2;
  }
  return out;
}

TEST(MailDate, FormatsWeekdayMonthAndSignedOffset) {
  EXPECT_EQ(FormatDate({2026, 12, 8, 9, 5, 3, 540}), "Tue, 08 Dec 2026 09:05:03 +0900");
  EXPECT_EQ(FormatDate({1970, 1, 1, 0, 0, 0, 0}), "Thu, 01 Jan 1970 00:00:00 +0000");
  EXPECT_EQ(FormatDate({2000, 2, 29, 23, 59, 59, -210}), "Tue, 29 Feb 2000 23:59:59 -0330");
  EXPECT_EQ(FormatDate({2024, 3, 10, 12, 0, 0, 345}), "Sun, 10 Mar 2024 12:00:00 +0545");
}

TEST(MailDate, LocalTimeCarriesTheZonesOffset) {
  test::SetTimeZone("JST-9");
  std::optional<LocalTime> jst = LocalTimeAt(1796688303);  // 2026-12-08 00:05:03 UTC
  test::SetTimeZone("UTC0");
  std::optional<LocalTime> utc = LocalTimeAt(1796688303);
  ASSERT_TRUE(jst && utc);
  EXPECT_EQ(FormatDate(*jst), "Tue, 08 Dec 2026 09:05:03 +0900");
  EXPECT_EQ(FormatDate(*utc), "Tue, 08 Dec 2026 00:05:03 +0000");
  // West of Greenwich, across midnight.
  test::SetTimeZone("EST5");
  std::optional<LocalTime> est = LocalTimeAt(1796688303);
  test::SetTimeZone("UTC0");
  ASSERT_TRUE(est);
  EXPECT_EQ(FormatDate(*est), "Mon, 07 Dec 2026 19:05:03 -0500");
}

TEST(Base64, MatchesTheRfc4648Vectors) {
  EXPECT_EQ(Base64(""), "");
  EXPECT_EQ(Base64("f"), "Zg==");
  EXPECT_EQ(Base64("fo"), "Zm8=");
  EXPECT_EQ(Base64("foo"), "Zm9v");
  EXPECT_EQ(Base64("foob"), "Zm9vYg==");
  EXPECT_EQ(Base64("fooba"), "Zm9vYmE=");
  EXPECT_EQ(Base64("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Base64(std::string("\xFF\xFE\x00", 3)), "//4A");
}

TEST(HeaderText, JapaneseBecomesEncodedWordsThatDecodeBack) {
  const std::wstring text = L"監視アラート: サーバー応答なし、デバイス未検出 𠮷野家 ①②③ and some ASCII as well";
  const std::string encoded = EncodeHeaderText(text, 9);
  EXPECT_EQ(DecodeHeader(encoded), WideToUtf8(text));
  const std::vector<std::string> lines = Lines(encoded);
  EXPECT_GT(lines.size(), 2u);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_LE(lines[i].size() + (i == 0 ? 9 : 0), 76u) << lines[i];
    if (i > 0) {
      EXPECT_EQ(lines[i][0], ' ');
    }
    // Each word is whole UTF-8: no character is split between two words.
    EXPECT_TRUE(IsWholeUtf8(DecodeHeader(lines[i]))) << i;
  }
}

TEST(HeaderText, AsciiStaysReadableUnlessItCouldBeMisreadOrOverrunsTheLine) {
  // After "Subject: " (9 columns) the line holds 69 more.
  struct Case {
    std::string text;
    bool readable;
  } const cases[] = {
      {"Monitor alert: PC01", true},
      {std::string(69, 'x'), true},
      {std::string(70, 'x'), false},
      {std::string(300, 'x'), false},
      {"=?UTF-8?B?eA==?=", false},
      {"=?x?=", false},
      {"tab\there", false},
  };
  for (const Case& c : cases) {
    const std::string encoded = EncodeHeaderText(Utf8ToWide(c.text), 9);
    EXPECT_EQ(encoded == c.text, c.readable) << c.text << " became " << encoded;
    EXPECT_EQ(DecodeHeader(encoded), c.text);
    for (const std::string& line : Lines(encoded)) EXPECT_LE(line.size(), 76u) << c.text;
  }
}

class ComposedMessage : public ::testing::Test {
 protected:
  ComposedMessage() {
    s_.from = {L"監視サーバー", L"monitor@example.test"};
    s_.to = {{L"", L"ops@example.test"}, {L"Duty \\ Desk", L"duty@example.test"}};
    s_.subject = L"警告: PC01";
    s_.body = L"ping エラー 192.0.2.1 — 応答なし ①";
  }
  std::string Compose() const { return ComposeMessage(s_, {2026, 12, 8, 9, 5, 3, 540}, "<id.1@example.test>"); }
  // The value of header `name`, continuation lines included.
  static std::string Header(const std::string& message, const std::string& name) {
    std::string value;
    bool found = false;
    for (const std::string& line : Lines(message.substr(0, message.find("\r\n\r\n")))) {
      if (found && !line.empty() && line[0] == ' ') {
        value += "\r\n" + line;
      } else if (found) {
        break;
      } else if (line.rfind(name + ": ", 0) == 0) {
        value = line.substr(name.size() + 2);
        found = true;
      }
    }
    return value;
  }

  MailSettings s_;
};

TEST_F(ComposedMessage, HeadersThenBlankLineThenBase64BodyAllCrlf) {
  const std::string m = Compose();
  for (std::size_t i = 0; i < m.size(); ++i) {
    if (m[i] == '\n') {
      ASSERT_EQ(m[i - 1], '\r') << "bare LF at " << i;
    }
  }
  EXPECT_EQ(m.substr(m.size() - 2), "\r\n");
  EXPECT_EQ(Header(m, "Date"), "Tue, 08 Dec 2026 09:05:03 +0900");
  EXPECT_EQ(Header(m, "Message-ID"), "<id.1@example.test>");
  EXPECT_EQ(Header(m, "MIME-Version"), "1.0");
  EXPECT_EQ(Header(m, "Content-Type"), "text/plain; charset=UTF-8");
  EXPECT_EQ(Header(m, "Content-Transfer-Encoding"), "base64");
  EXPECT_EQ(Header(m, "Cc"), "");
  EXPECT_EQ(DecodeHeader(Header(m, "Subject")), WideToUtf8(s_.subject));
  const std::size_t blank = m.find("\r\n\r\n");
  ASSERT_NE(blank, std::string::npos);
  EXPECT_EQ(Unbase64(m.substr(blank + 4)), WideToUtf8(s_.body));
  for (const std::string& line : Lines(m)) EXPECT_LE(line.size(), 78u) << line;
}

TEST_F(ComposedMessage, AddressesKeepTheirNamesAndLongListsAreFolded) {
  s_.cc.clear();
  for (int i = 0; i < 12; ++i) s_.cc.push_back({L"", L"recipient-number-" + std::to_wstring(i) + L"@example.test"});
  const std::string m = Compose();
  EXPECT_EQ(Header(m, "To"), "ops@example.test, \"Duty \\\\ Desk\" <duty@example.test>");
  const std::string from = Header(m, "From");
  EXPECT_EQ(DecodeHeader(from.substr(0, from.find(" <"))), WideToUtf8(s_.from.displayName));
  EXPECT_NE(from.find(" <monitor@example.test>"), std::string::npos);
  const std::string cc = Header(m, "Cc");
  EXPECT_NE(cc.find("\r\n "), std::string::npos);
  for (int i = 0; i < 12; ++i) {
    EXPECT_NE(cc.find("recipient-number-" + std::to_string(i) + "@example.test"), std::string::npos);
  }
  for (const std::string& line : Lines(m)) EXPECT_LE(line.size(), 78u) << line;
}

TEST_F(ComposedMessage, EmptyBodyAndLongBodyLines) {
  s_.body.clear();
  std::string m = Compose();
  EXPECT_EQ(m.substr(m.size() - 4), "\r\n\r\n");
  s_.body = std::wstring(1023, L'あ');
  m = Compose();
  const std::size_t blank = m.find("\r\n\r\n");
  EXPECT_EQ(Unbase64(m.substr(blank + 4)), WideToUtf8(s_.body));
  for (const std::string& line : Lines(m.substr(blank + 4))) EXPECT_LE(line.size(), 76u);
}

TEST(MessageId, UniqueAndInTheSendersDomain) {
  const std::string a = NewMessageId(1796688303, L"monitor@example.test");
  const std::string b = NewMessageId(1796688303, L"monitor@example.test");
  EXPECT_NE(a, b);
  EXPECT_EQ(a.front(), '<');
  EXPECT_EQ(a.substr(a.size() - 14), "@example.test>");
}

}  // namespace
}  // namespace qv::mailer
