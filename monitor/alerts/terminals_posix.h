#pragma once
// msg.exe on Linux: the message written to the terminals of the logged-in
// users, as wall writes it, but by the Monitor itself so that it knows who
// got it.
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// What became of the message at one terminal of the user list.
enum class TerminalOutcome {
  Taken,     // the whole message was written
  NotTaken,  // cut short, the terminal full, or gone
  Refused,   // no permission to open it
  Skipped,   // not a terminal we may write to, or its user said `mesg n`
};

// A write of `size` bytes that returned `written` (-1: failed with `error`).
TerminalOutcome WriteOutcome(long written, std::size_t size, int error);

// Win32_Process.Create's ReturnValue for the whole delivery: "0" when some
// terminal took the message, "2" (access denied) when none did and some
// refused us, else "8".
std::wstring DeliveryReturnValue(const std::vector<TerminalOutcome>& outcomes);

// The bytes a terminal gets: a blank line, "Broadcast message from
// SENDER@HOST (TIME):", a blank line and `body`. Control characters are
// dropped except tabs and line breaks, and every line ends in CR LF.
std::string TerminalMessage(std::wstring_view body, std::wstring_view sender, std::wstring_view host,
                            std::wstring_view time);

// True for a utmp line that names a terminal below /dev: "pts/N", "ttyX...",
// "console"; never a path that climbs out or starts at the root.
bool IsTerminalLine(std::string_view line);

// Writes `body` to the terminal of every USER_PROCESS entry of the utmp file
// (only those of `recipient` unless it is "*") and returns DeliveryReturnValue.
// The utmp file is /run/utmp, or $QV_UTMP_FILE when set: a test hook.
std::wstring DeliverToTerminals(std::wstring_view body, std::wstring_view recipient);

}  // namespace qv
