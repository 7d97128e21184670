#include "settings.h"

#include "settings_table.h"

namespace cv2 {

std::string ReadSettingString(RegistryBackend& store, const std::string& name) {
  Registry reg(store);
  if (!reg.OpenKeyReadOnly(kSettingsKey)) return {};
  return reg.ReadString(name);
}

bool ReadSettingBool(RegistryBackend& store, const std::string& name) {
  Registry reg(store);
  if (!reg.OpenKeyReadOnly(kSettingsKey)) return false;
  return reg.ReadBool(name);
}

int32_t ReadSettingInteger(RegistryBackend& store, const std::string& name) {
  Registry reg(store);
  if (!reg.OpenKeyReadOnly(kSettingsKey)) return 0;
  return reg.ReadInteger(name);
}

}  // namespace cv2
