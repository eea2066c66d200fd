#include "monitor/settings.h"

#include "common/profile.h"
#include "common/system.h"
#include "common/text_util.h"

namespace qv {

MonitorSettings& TheMonitorSettings() {
  static MonitorSettings settings;
  return settings;
}

void LoadSettings() { LoadSettings(TheMonitorSettings(), ExecutableDirectory()); }

void LoadSettings(MonitorSettings& s, const std::wstring& exeDirectory) {
  s.exeDirectory = exeDirectory;

  {
    ProfileReader config(JoinPath(s.exeDirectory, kConfigIni));
    ReadCheckSettings(config, s.intervalMinutes, s.pingThreshold, s.deviceThreshold);
    s.logDirectory = ReadLogDirectory(config, s.exeDirectory);
    // No directory, no metrics file.
    const std::wstring textfileDir = config.GetString(L"Metrics", L"TextfileDir", L"");
    s.metricsDirectory =
        textfileDir.empty() ? std::wstring() : ResolveConfiguredDirectory(s.exeDirectory, textfileDir);
  }

  {
    ProfileReader quorvanex(JoinPath(s.exeDirectory, kQuorvanexIni));
    s.hardwarePattern = DoubleBackslashes(quorvanex.GetString(L"Config", L"Hardware", L""));
    s.servers = ReadServerSections(quorvanex, true);
  }

  {
    ProfileReader mail(JoinPath(s.exeDirectory, kMailIni));
    const std::uint32_t mailSend = mail.GetInt(L"Config", L"MailSend", 0);
    s.mailSendLimit = mailSend <= kMailSendMaxLimit ? mailSend : kMailSendNoLimit;
  }

  {
    ProfileReader message(JoinPath(s.exeDirectory, kMessageIni));
    s.screenAlertEnabled = static_cast<std::int32_t>(message.GetInt(L"Config", L"Pomvex", 1)) > 0;
  }
}

}  // namespace qv
