#include "configurator/apply_settings.h"

#include "common/text_util.h"
#include "configurator/messages.h"

namespace qv {

void ApplySettings(ConfiguratorSettings& s, SettingsView& view, ServiceManager& manager,
                   Clock& clock) {
  // Off for the whole run, so that a second press cannot start a second restart.
  view.EnableRegister(false);

  s.intervalMinutes = Wtoi(view.FieldText(SettingsView::Field::Interval));
  s.pingThreshold = Wtoi(view.FieldText(SettingsView::Field::Ping));
  s.deviceThreshold = Wtoi(view.FieldText(SettingsView::Field::Device));
  for (std::size_t row = 0; row < s.servers.size(); ++row) {
    // A row the list could not show cannot have been changed: keep the flag
    // rather than switch a disabled server on.
    if (const std::optional<std::uint32_t> image = view.RowStateImage(row)) {
      s.servers[row].enabled = EnabledFromStateImage(*image);
    }
  }
  s.mailSelection = view.SelectorIndex();

  // Written before the restart and kept when it fails: a second press retries.
  SaveDialogSettings(s);
  const bool restarted = RestartMonitorService(manager, clock);
  view.ShowResult(restarted ? msg::kApplySucceeded : msg::kApplyFailed);

  view.EnableRegister(true);
}

}  // namespace qv
