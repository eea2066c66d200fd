#pragma once

namespace qv {

// The Monitor registers under the first name; the Configurator addresses the
// service by the second. Service names compare without case: one service.
inline constexpr wchar_t kMonitorServiceName[] = L"quorvanexdevicechecker";
inline constexpr wchar_t kConfiguratorServiceName[] = L"QuorvanexDeviceChecker";

}  // namespace qv
