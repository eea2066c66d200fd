#include "common/format.h"
#include "common/text_util.h"
#include "configurator/configurator_settings.h"
#include "ctl/commands.h"
#include "ctl/settings_change.h"

namespace qv {
namespace {

// The Configurator's fields take digits only, up to the 32-bit limit.
constexpr std::int64_t kLargestValue = 2147483647;

struct Setting {
  const wchar_t* name;
  const wchar_t* where;  // file, section and key
  std::int32_t ConfiguratorSettings::*field;
};

constexpr Setting kSettings[] = {
    {L"interval", L"config.ini [Config] Interval", &ConfiguratorSettings::intervalMinutes},
    {L"ping", L"config.ini [Threshold] Ping", &ConfiguratorSettings::pingThreshold},
    {L"device", L"config.ini [Threshold] DeviceManager", &ConfiguratorSettings::deviceThreshold},
};

}  // namespace

int RunSet(CtlContext& ctx, const CommandArgs& args) {
  if (args.size() != 2) return ctx.UsageError(L"set needs a name (interval, ping or device) and a value");
  const Setting* setting = nullptr;
  for (const Setting& s : kSettings) {
    if (args[0] == s.name) setting = &s;
  }
  if (setting == nullptr) return ctx.UsageError(L"set: interval, ping or device, not " + args[0]);
  const std::optional<std::int64_t> value = ParseDigits(args[1], 10);
  if (!value || *value > kLargestValue) {
    ctx.Err(Format(L"quorvanexctl set: %s must be a whole number from 0 to %d, not \"%s\"; nothing changed\n",
                   setting->name, kLargestValue, args[1]));
    return kExitUsage;
  }

  ConfiguratorSettings settings;
  LoadDialogSettings(settings, ctx.Directory());
  const std::int32_t before = settings.*setting->field;
  settings.*setting->field = static_cast<std::int32_t>(*value);
  if (const int rc = SaveLikeConfigurator(ctx, settings, L"set"); rc != kExitOk) return rc;
  ctx.Out(Format(L"%s = %d (was %d)\n", setting->where, *value, before));
  SayRestartNeeded(ctx);
  return kExitOk;
}

}  // namespace qv
