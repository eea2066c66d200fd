#pragma once
// What the mail program's output must be, whatever its settings: shared by
// the mail fuzz targets.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "mailer/mail_settings.h"

namespace qv::mailer::fuzz {

inline void Require(bool condition) {
  if (!condition) std::abort();
}

// The input as UTF-16LE code units, as a mail file may hold them, cut at
// `maxUnits`. Cheap, so that most of a run is spent in the code under test.
inline std::wstring Utf16LeText(const std::uint8_t* data, std::size_t size, std::size_t maxUnits) {
  std::wstring text(size / 2 < maxUnits ? size / 2 : maxUnits, L'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  return text;
}

// An envelope address goes into "MAIL FROM:<...>" and "RCPT TO:<...>" as it
// is: nothing in it may end the command or the brackets.
inline void RequireSafeMailbox(const Mailbox& box) {
  Require(box.address.find(L'@') != std::wstring::npos);
  for (wchar_t c : box.address) Require(c > L' ' && c < 0x7F && c != L'<' && c != L'>');
  for (wchar_t c : box.displayName) Require(c >= L' ' && c != 0x7F && c != L'"');
}

// CR LF line ends only, no line longer than SMTP allows, and every header
// line either a new field or the continuation of one.
inline void RequireWellFormedMessage(std::string_view message) {
  bool inHeader = true;
  std::size_t start = 0;
  while (start < message.size()) {
    const std::size_t end = message.find("\r\n", start);
    Require(end != std::string_view::npos);
    const std::string_view line = message.substr(start, end - start);
    Require(line.find_first_of("\r\n") == std::string_view::npos);
    Require(line.size() <= 998);
    if (line.empty()) {
      inHeader = false;
    } else if (inHeader) {
      Require(line[0] == ' ' || line.find(':') != std::string_view::npos);
    }
    start = end + 2;
  }
  Require(!inHeader);
}

}  // namespace qv::mailer::fuzz
