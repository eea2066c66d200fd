#pragma once
// What the 登録 button does, apart from the window: take the controls into
// the settings, save them, restart the service, report the outcome.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "configurator/configurator_settings.h"
#include "configurator/service_restart.h"

namespace qv {

// The dialog's controls as ApplySettings sees them.
class SettingsView {
 public:
  enum class Field { Interval, Ping, Device };
  virtual ~SettingsView() = default;
  virtual void EnableRegister(bool enabled) = 0;
  // The wait cursor while the save and the restart run; at the end, keys
  // typed meanwhile are dropped so that none of them answers the result box.
  virtual void ShowBusy(bool busy) = 0;
  virtual std::wstring FieldText(Field field) = 0;
  // The row's state image index (LVIS_STATEIMAGEMASK >> 12): 0 none, 1
  // unchecked, 2 checked; nothing when the list has no such row.
  virtual std::optional<std::uint32_t> RowStateImage(std::size_t row) = 0;
  virtual std::int32_t SelectorIndex() = 0;  // CB_GETCURSEL, -1 when none
  // A modal message box owned by the dialog, empty title, OK only.
  virtual void ShowResult(std::wstring_view text) = 0;
};

// Only an unchecked box switches a server off; a row that reports no box
// keeps it on.
inline bool EnabledFromStateImage(std::uint32_t stateImage) { return stateImage != 1; }

void ApplySettings(ConfiguratorSettings& settings, SettingsView& view, ServiceManager& manager,
                   Clock& clock);

}  // namespace qv
