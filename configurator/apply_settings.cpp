#include "configurator/apply_settings.h"

#include "common/text_util.h"
#include "configurator/messages.h"

namespace qv {

void ApplySettings(ConfiguratorSettings& s, SettingsView& view, ServiceManager& manager,
                   Clock& clock) {
  // Off for the whole run, so that a second press cannot start a second restart.
  view.EnableRegister(false);
  view.ShowBusy(true);

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
  // A save that failed restarts nothing: the service would only read the old values.
  const bool applied = SaveDialogSettings(s) && RestartMonitorService(manager, clock);
  view.ShowBusy(false);
  view.ShowResult(applied ? msg::kApplySucceeded : msg::kApplyFailed);

  view.EnableRegister(true);
}

}  // namespace qv
