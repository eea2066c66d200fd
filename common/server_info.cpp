#include "common/server_info.h"

#include <algorithm>

#include "common/format.h"
#include "common/profile.h"
#include "common/system.h"
#include "common/text_util.h"

namespace qv {

std::int64_t ServerSectionNumber(std::wstring_view name) {
  constexpr std::wstring_view prefix = L"Quorvanex_";
  if (name.size() <= prefix.size() || !EqualsNoCase(name.substr(0, prefix.size()), prefix)) return 0;
  std::wstring_view digits = name.substr(prefix.size());
  if (digits.size() > 10 || digits.front() == L'0') return 0;
  std::int64_t n = 0;
  for (wchar_t c : digits) {
    if (c < L'0' || c > L'9') return 0;
    n = n * 10 + (c - L'0');
  }
  return n;
}

std::wstring ResolveConfiguredDirectory(const std::wstring& exeDirectory, const std::wstring& value) {
  return IsAbsolutePath(value) ? value : JoinPath(exeDirectory, value);
}

std::wstring ReadLogDirectory(const ProfileReader& configIni, const std::wstring& exeDirectory) {
  return ResolveConfiguredDirectory(exeDirectory, configIni.GetString(L"Config", L"LogDir", L"log"));
}

void ReadCheckSettings(const ProfileReader& config, std::int32_t& intervalMinutes,
                       std::int32_t& pingThreshold, std::int32_t& deviceThreshold) {
  auto keepIfNotNegative = [](std::int32_t& field, std::uint32_t raw) {
    const auto value = static_cast<std::int32_t>(raw);
    if (value >= 0) field = value;
  };
  keepIfNotNegative(intervalMinutes, config.GetInt(L"Config", L"Interval", 5));
  keepIfNotNegative(pingThreshold, config.GetInt(L"Threshold", L"Ping", 5));
  keepIfNotNegative(deviceThreshold, config.GetInt(L"Threshold", L"DeviceManager", 5));
}

std::vector<QuorvanexServerInfo> ReadServerSections(const ProfileReader& ini, bool doubleBackslashes) {
  std::vector<QuorvanexServerInfo> servers;
  const auto count = static_cast<std::int32_t>(ini.GetInt(L"Config", L"Count", 0));
  if (count <= 0) return servers;

  std::vector<std::int64_t> numbers;
  for (const std::wstring& name : ini.SectionNames()) {
    std::int64_t n = ServerSectionNumber(name);
    if (n >= 1 && n <= count) numbers.push_back(n);
  }
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());

  for (std::int64_t n : numbers) {
    const std::wstring section = Format(L"Quorvanex_%d", n);
    QuorvanexServerInfo info;
    info.enabled = ini.GetInt(section, L"Enabled", 1) != 0;
    info.server = ini.GetString(section, L"Server", L"");
    if (info.server.empty()) continue;
    info.username = ini.GetString(section, L"Username", L"");
    info.password = ini.GetString(section, L"Password", L"");
    info.port = static_cast<std::int32_t>(ini.GetInt(section, L"Port", 4003));
    info.display = ini.GetString(section, L"Display", L"");
    if (info.display.empty()) info.display = info.server;
    info.hardware = ini.GetString(section, L"Hardware", L"");
    if (doubleBackslashes) info.hardware = DoubleBackslashes(info.hardware);
    info.productId = ini.GetString(section, L"ProductID", L"");
    info.vendorId = ini.GetString(section, L"VendorID", L"");
    info.index = static_cast<std::int32_t>(n - 1);
    servers.push_back(std::move(info));
  }
  return servers;
}

}  // namespace qv
