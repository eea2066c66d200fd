#pragma once
// mail.log: one line per run of the mail program, beside the Monitor's
// log.txt, so that a failure the service cannot show is still explained.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::mailer {

inline constexpr wchar_t kMailLogName[] = L"mail.log";
// Past this size the log becomes mail.log.1 before the next line.
inline constexpr std::uint64_t kMailLogLimitBytes = 1024 * 1024;

struct MailRun {
  std::int64_t time = 0;  // seconds since 1970 UTC
  int exitCode = 0;
  std::vector<std::wstring> recipients;  // addresses of To and Cc
  std::string reason;                    // UTF-8, on failure
  std::string lastReply;                 // UTF-8, the server's last reply
};

// "YYYY/MM/DD hh:mm:ss|sent|0|a@x,b@y||" or
// "YYYY/MM/DD hh:mm:ss|failed|<code>|<recipients>|<reason>|<last reply>", in
// local time, with "\n"; a "|", CR or LF inside a field becomes a blank.
std::string FormatMailLogLine(const MailRun& run);

// Appends `line` to mail.log in `logDirectory` (made when missing, refused
// when a level is a link that someone other than the owner of
// `programDirectory` may have planted). False when it could not be written.
bool AppendMailLog(const std::wstring& logDirectory, const std::wstring& programDirectory,
                   std::string_view line);

}  // namespace qv::mailer
