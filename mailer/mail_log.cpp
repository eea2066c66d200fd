#include "mailer/mail_log.h"

#include <optional>

#include "common/files.h"
#include "common/system.h"
#include "common/text_util.h"

namespace qv::mailer {
namespace {

std::string Field(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '|' || c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

}  // namespace

std::string FormatMailLogLine(const MailRun& run) {
  std::string recipients;
  for (const std::wstring& address : run.recipients) {
    recipients += (recipients.empty() ? "" : ",") + WideToUtf8(address);
  }
  const bool sent = run.exitCode == 0;
  return WideToUtf8(FormatLocalTime(run.time, L"%Y/%m/%d %H:%M:%S")) + "|" + (sent ? "sent" : "failed") + "|" +
         std::to_string(run.exitCode) + "|" + Field(recipients) + "|" + (sent ? "" : Field(run.reason)) + "|" +
         (sent ? "" : Field(run.lastReply)) + "\n";
}

bool AppendMailLog(const std::wstring& logDirectory, const std::wstring& programDirectory,
                   std::string_view line) {
  // Held open while we work in it, as the Monitor holds its log folder.
  const std::optional<HeldDirectory> held = OpenDirectoryCreatingLevels(logDirectory, programDirectory);
  if (!held) return false;
  const std::wstring path = JoinPath(held->Path(), kMailLogName);
  const std::optional<std::uint64_t> size = RegularFileSize(path);
  if (size && *size > kMailLogLimitBytes) {
    // Failing that, the line still goes to the grown file.
    static_cast<void>(MoveFileReplace(path, path + L".1"));
  }
  const AppendResult result = AppendToFile(path, line);
  // No part of a line stays behind to spoil the next one.
  if (!result.complete && result.sizeAfter > result.sizeBefore) TruncateFile(path, result.sizeBefore);
  return result.complete;
}

}  // namespace qv::mailer
