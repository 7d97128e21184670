#pragma once
// The hardware list text and the identifier lists, built over a device source.
//
// Hardware list: per device one line per description string (depth 0), then the sections
// "HardwareID", "Compatible HWID", "Manufacturers", "InstallState", "Driver GUID", "Device Class",
// "Connection bus", "Class GUID" (depth 1) with one line per property string (depth 2), then,
// when the device's class key opens, "Matching HWID", "Driver date" and "Driver Version".
// Lines follow the tree text rule: one TAB per level, CR LF after every line.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device_source.h"
#include "registry.h"

namespace cv2::hwsense {

// The working state of one list call: the device source and where a failed property read is
// reported (a message box in a window, a line on standard error without one).
struct HwListState {
  DeviceSource& Source;
  std::function<void(const std::string& text)> ShowError;
};

// The text of the property-read failure report, for the given last-error value.
std::string PropertyFailureText(uint32_t error);

// Reads a property with the size probe: the strings of the property (possibly none), or nothing
// when the read failed with an unexpected error. A missing property gives an empty list. A
// 32-bit number gives no string for 0 and its decimal form otherwise.
std::optional<std::vector<std::string>> ReadDeviceProperty(HwListState& state, DeviceSetHandle set,
                                                           const DeviceInfoData& device,
                                                           uint32_t property);

// Opens a device's class key: the Control path, then the Services path, each followed by the
// driver key. False when neither opens; the handle is then closed.
bool OpenClassKey(Registry& registry, const std::string& driverKey);

struct ClassKeyValues {
  std::string MatchingDeviceId;
  std::string DriverDate;
  std::string DriverVersion;
};
// The three values of a device's class key, or nothing when the key does not open. A value of
// another type than text raises RegistryError.
std::optional<ClassKeyValues> LookupClassKey(RegistryBackend& machine,
                                             const std::string& driverKey);

// The hardware list text of all present devices, or nothing when the device set cannot be
// obtained. Errors of the registry (a class key value that is not text) propagate.
std::optional<std::string> BuildHardwareList(HwListState& state);

// Every string of one property (SPDRP_HARDWAREID or SPDRP_COMPATIBLEIDS) of every present device,
// one per line, or nothing when the device set cannot be obtained.
std::optional<std::string> BuildIdList(HwListState& state, uint32_t property);

}  // namespace cv2::hwsense
