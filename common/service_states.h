#pragma once
// The values of the Windows SERVICE_STATUS record and the service controls,
// shared by the Monitor (which reports them) and the Configurator (which
// reads them), so that neither depends on <windows.h> for them.
#include <cstdint>

namespace qv {

inline constexpr std::uint32_t kServiceWin32OwnProcess = 0x10;
inline constexpr std::uint32_t kServiceAcceptStop = 0x1;

inline constexpr std::uint32_t kServiceStopped = 1;
inline constexpr std::uint32_t kServiceStartPending = 2;
inline constexpr std::uint32_t kServiceStopPending = 3;
inline constexpr std::uint32_t kServiceRunning = 4;

// A service's win32ExitCode when another instance already does its work.
inline constexpr std::uint32_t kErrorServiceAlreadyRunning = 1056;

inline constexpr std::uint32_t kServiceControlStop = 1;
inline constexpr std::uint32_t kServiceControlInterrogate = 4;

}  // namespace qv
