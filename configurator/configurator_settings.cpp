#include "configurator/configurator_settings.h"

#include "common/format.h"
#include "common/profile.h"
#include "common/system.h"

namespace qv {

ConfiguratorSettings& TheConfiguratorSettings() {
  static ConfiguratorSettings settings;
  return settings;
}

void LoadDialogSettings(ConfiguratorSettings& s, const std::wstring& exeDirectory) {
  s.exeDirectory = exeDirectory;

  {
    ProfileReader config(JoinPath(s.exeDirectory, kConfigIni));
    ReadCheckSettings(config, s.intervalMinutes, s.pingThreshold, s.deviceThreshold);
  }

  {
    // Hardware texts are carried back unchanged, so no escaping here.
    ProfileReader quorvanex(JoinPath(s.exeDirectory, kQuorvanexIni));
    s.servers = ReadServerSections(quorvanex, false);
  }

  {
    ProfileReader mail(JoinPath(s.exeDirectory, kMailIni));
    const std::uint32_t mailSend = mail.GetInt(L"Config", L"MailSend", 0);
    s.mailSelection = mailSend <= kMailSendMaxLimit || mailSend == kMailSendNoLimit
                          ? static_cast<std::int32_t>(mailSend)
                          : 0;
  }
}

bool SaveDialogSettings(const ConfiguratorSettings& s) {
  bool saved = true;
  // Every key is tried, also after one failed.
  auto write = [&saved](const std::wstring& path, std::wstring_view section, std::wstring_view key,
                        std::wstring_view value) {
    if (!WriteProfileValue(path, section, key, value)) saved = false;
  };
  const std::wstring config = JoinPath(s.exeDirectory, kConfigIni);
  write(config, L"Config", L"Interval", Format(L"%d", s.intervalMinutes));
  write(config, L"Threshold", L"Ping", Format(L"%d", s.pingThreshold));
  write(config, L"Threshold", L"DeviceManager", Format(L"%d", s.deviceThreshold));

  // Only the flag goes back, into the section the record was read from.
  const std::wstring quorvanex = JoinPath(s.exeDirectory, kQuorvanexIni);
  for (const QuorvanexServerInfo& info : s.servers) {
    const std::int64_t section = static_cast<std::int64_t>(info.index) + 1;
    write(quorvanex, Format(L"Quorvanex_%d", section), L"Enabled", info.enabled ? L"1" : L"0");
  }
  return saved;
}

}  // namespace qv
