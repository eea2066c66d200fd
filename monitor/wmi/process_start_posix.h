#pragma once
// How the Linux stand-in of Win32_Process.Create starts a command line.
#include <string>

namespace qv {

// Starts `commandLine` (Windows splitting rules, no shell) in `currentDirectory`
// (empty: inherited) without waiting for it. msg.exe is delivered the Linux way:
// to the terminals, "0" only when some terminal took the message.
// `returnValue` receives the Win32_Process.Create code ("0" when started).
[[nodiscard]] bool StartCommandDetached(const std::wstring& commandLine,
                                        const std::wstring& currentDirectory, std::wstring& returnValue);

}  // namespace qv
