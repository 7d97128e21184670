#pragma once
// The settings read helpers. Each opens the settings key for reading without creating it, reads
// one value and releases the key, also when the read fails.
//
//   helper                key missing   value missing                 value of another type
//   ReadSettingString     ""            ""                            "Invalid data type for '%s'"
//   ReadSettingBool       false         "Failed to get data for '%s'" "Invalid data type for '%s'"
//   ReadSettingInteger    0             "Failed to get data for '%s'" "Invalid data type for '%s'"
#include <cstdint>
#include <string>

#include "registry.h"

namespace cv2 {

std::string ReadSettingString(RegistryBackend& store, const std::string& name);
bool ReadSettingBool(RegistryBackend& store, const std::string& name);
int32_t ReadSettingInteger(RegistryBackend& store, const std::string& name);

}  // namespace cv2
