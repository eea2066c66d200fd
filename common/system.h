#pragma once
// The few operating-system facts the programs need, one implementation per platform.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// Separator of the native paths: "\" on Windows, "/" elsewhere. Everywhere the
// programs join a directory and a name they use JoinPath.
extern const wchar_t kPathSeparator;
std::wstring JoinPath(std::wstring_view directory, std::wstring_view name);
// True for a path that does not depend on a current directory: on Windows one
// with a drive ("C:\x", also "C:x") or a UNC path ("\\server\share"), on
// Linux one that begins with "/".
bool IsAbsolutePath(std::wstring_view path);

// Full path of the running executable (any length); empty when unknown.
std::wstring ExecutablePath();
// Everything before the last separator of ExecutablePath(); empty when the
// path is unknown or holds no separator.
std::wstring ExecutableDirectory();

// This computer's NetBIOS-style name (at most 15 characters); empty on failure.
std::wstring ComputerName();

// Fills `buffer` from the operating system's random generator (getrandom,
// BCryptGenRandom); false when it cannot.
[[nodiscard]] bool FillRandom(void* buffer, std::size_t size);

// Seconds since 1970-01-01 00:00 UTC (_time64).
std::int64_t NowSeconds();

// Local time of `seconds` formatted with strftime `format` (only numeric
// conversions are used). Empty outside 0..32535215999, the range the MSVC
// runtime accepts, so both platforms agree.
std::wstring FormatLocalTime(std::int64_t seconds, const wchar_t* format);

// The process start-up step: the program's own module handle. There is no
// application framework to initialise besides it. Cannot fail on Linux.
enum class PlatformInitResult { Ok, NoModuleHandle };
PlatformInitResult InitializePlatform();

// Writes wide text to standard output (UTF-8 on Linux, the console's own
// encoding on Windows).
void ConsoleWrite(std::wstring_view text);
// The same on standard error (under systemd: the journal).
void ConsoleWriteError(std::wstring_view text);

// Whoever started the process may have left signals ignored or blocked: an
// ignored SIGCHLD loses the exit codes of child processes, a blocked SIGTERM
// stops the stop. Linux: the signals the program relies on get their default
// action back and the signal mask is emptied. Windows: nothing to do.
void ResetInheritedSignalState();

// The C runtime's locale: "japanese" on Windows; Linux converts explicitly.
void SetProgramLocale();

}  // namespace qv
