#pragma once
// The table of settings: every value of the settings key with its type, the caption of the
// control that edits it and the control's default. The configuration window, the seeding of a
// new store and cv2ctl config all read this one table.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "registry.h"

namespace cv2 {

inline constexpr const char* kSettingsKey = "Software\\Corvantis2";
// The update server this build talks to unless the user sets another.
inline constexpr const char* kDefaultServerAddress = "127.0.0.1";

enum class ControlKind { CheckBox, ComboBox, EditField, TrackBar, None };

struct SettingInfo {
  const char* Name;
  ValueType Type;
  ControlKind Kind;
  const char* Page;     // the configuration window's page
  const char* Section;  // the section heading inside the page, "" when none
  const char* Caption;  // the control's caption ("" for values without a control)
  int32_t DefaultNumber;      // window default of a DWORD value (-1: no item selected)
  const char* DefaultText;    // window default of a string value
  std::vector<const char*> Items;  // the fixed items of a drop-down list
  int32_t Min = 0, Max = 0;        // the range of a track bar
  bool Disabled = false;   // shown but not editable in the window
  bool ReadOnly = false;   // shown read-only
  bool Masked = false;     // a password field
  bool Secret = false;     // never printed in full by tools
};

// The 40 settings of the configuration window in window order, then the three values without a
// control ("User_passwordTXT", "SupportRequestPending", "last run date").
std::span<const SettingInfo> SettingsTable();
// Only the 40 values with a control: the values a new store is seeded with.
std::span<const SettingInfo> WindowSettings();
// Looks a name up without regard to case; null when unknown.
const SettingInfo* FindSetting(std::string_view name);
// The type of a name: from the table, else from its suffix (CHK, COMBO, TRACK: DWORD; TXT: SZ).
// False when neither tells.
bool SettingTypeOf(std::string_view name, ValueType& type);
// The window default as a registry value.
RegValue DefaultValue(const SettingInfo& info);

}  // namespace cv2
