#include <algorithm>
#include <optional>

#include "common/format.h"
#include "common/text_util.h"
#include "ctl/commands.h"
#include "monitor/checks/checker.h"
#include "monitor/settings.h"
#include "monitor/wmi/com_apartment.h"
#include "monitor/wmi/wmi_connection.h"
#include "monitor/wmi/wql.h"

namespace qv {
namespace {

// The LIKE pattern the device check queries with for `escapedPrefix`;
// nothing when that query is no valid WQL (a quote in the prefix).
std::optional<std::wstring> LikePattern(const std::wstring& escapedPrefix) {
  std::optional<WqlLikeQuery> query = ParseWqlLikeQuery(DeviceQueryText(escapedPrefix));
  if (!query) return std::nullopt;
  return query->pattern;
}

std::wstring Hex(std::int32_t hr) {
  std::wstring hex(8, L'0');
  const auto v = static_cast<std::uint32_t>(hr);
  for (std::size_t i = 0; i < 8; ++i) hex[i] = L"0123456789ABCDEF"[(v >> (28 - 4 * i)) & 0xF];
  return hex;
}

// Hardware as written in quorvanex.ini: the Monitor holds it doubled.
std::wstring WrittenHardware(const MonitorSettings& settings) {
  std::wstring text = settings.hardwarePattern;
  ReplaceAll(text, L"\\\\", L"\\");
  return text;
}

}  // namespace

int RunDevices(CtlContext& ctx, const CommandArgs& args) {
  if (args.size() > 1) return ctx.UsageError(L"devices takes at most one PREFIX");
  MonitorSettings settings;
  LoadSettings(settings, ctx.Directory());

  // Typed as in Device Manager, with single backslashes: doubled as the
  // Monitor doubles Hardware.
  std::optional<std::wstring> prefixPattern;
  if (!args.empty()) {
    prefixPattern = LikePattern(DoubleBackslashes(args[0]));
    if (!prefixPattern) {
      ctx.Err(L"quorvanexctl devices: " + args[0] + L" would make the device query invalid (a quote in it)\n");
      return kExitUsage;
    }
  }
  const std::optional<std::wstring> hardwarePattern = LikePattern(settings.hardwarePattern);

  const ComApartment apartment;
  const Checker checker(settings, SystemCheckerPorts());
  std::unique_ptr<WmiConnection> wmi = CreateWmiConnection();
  std::vector<DeviceIdAndStatus> devices;
  const bool listed = wmi->Connect(checker.Info()) && wmi->QueryAllDevices(devices);
  const std::int32_t error = wmi->lastError;
  wmi->Release();
  if (!listed) {
    ctx.Err(Format(L"quorvanexctl devices: WMI could not list the devices (HRESULT 0x%s)\n", Hex(error)));
    return 1;
  }

  std::wstring text;
  std::size_t shown = 0;
  const DeviceIdAndStatus* first = nullptr;  // what the device check would take
  for (const DeviceIdAndStatus& device : devices) {
    const bool configured = hardwarePattern && WqlLike(device.deviceId, *hardwarePattern);
    if (configured && first == nullptr) first = &device;
    if (prefixPattern && !WqlLike(device.deviceId, *prefixPattern)) continue;
    ++shown;
    std::wstring status = device.status.empty() ? L"-" : device.status;
    status.resize(std::max<std::size_t>(status.size(), 8), L' ');
    text += (configured ? L"* " : L"  ") + status + L" " + device.deviceId + L"\n";
  }
  ctx.Out(text);

  const std::wstring hardware = WrittenHardware(settings);
  if (!hardwarePattern) {
    ctx.Out(L"Hardware=" + hardware + L" holds a quote: the device check's query is invalid\n");
  } else if (hardware.empty()) {
    ctx.Out(L"Hardware is empty: the device check takes whichever device WMI lists first\n");
  } else if (first == nullptr) {
    ctx.Out(L"Hardware=" + hardware + L" matches no device (marked *): the device check fails\n");
  } else {
    ctx.Out(Format(L"* matches Hardware=%s; the device check takes the first: %s, status %s\n", hardware,
                   first->deviceId, first->status.empty() ? std::wstring(L"none (counts as an error)") : first->status));
  }
  if (prefixPattern) return shown > 0 ? kExitOk : 1;
  return first != nullptr ? kExitOk : 1;
}

}  // namespace qv
