#pragma once
// The Internet message (RFC 5322 with MIME) that one alert sends.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mailer/mail_settings.h"

namespace qv::mailer {

struct LocalTime {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  int offsetMinutes = 0;  // local time minus UTC
};

// The local time at `seconds` since 1970 UTC with its offset; nothing when
// the runtime cannot show that time.
std::optional<LocalTime> LocalTimeAt(std::int64_t seconds);
// "Tue, 08 Dec 2026 09:05:03 +0900"
std::string FormatDate(const LocalTime& time);

std::string Base64(std::string_view bytes);

// Header text: as it is when it is short printable ASCII, otherwise RFC 2047
// encoded words ("=?UTF-8?B?...?=") folded onto continuation lines. `used` is
// how much of the first line the header name already takes.
std::string EncodeHeaderText(std::wstring_view text, std::size_t used);

// "<time.random@sender-domain>"
std::string NewMessageId(std::int64_t seconds, std::wstring_view senderAddress);

// Headers and a base64 UTF-8 text/plain body, CRLF line ends throughout.
std::string ComposeMessage(const MailSettings& settings, const LocalTime& date,
                           std::string_view messageId);

}  // namespace qv::mailer
