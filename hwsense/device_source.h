#pragma once
// The device-set operations the enumeration is written against: get the set of present devices,
// walk it by index, read a device property with the size probe, destroy the set, and the machine
// registry that holds the driver class keys. Sources: sysfs (the real machine or a captured
// tree) and a fake one for tests.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "registry.h"

namespace cv2::hwsense {

// Property codes, as the device installer numbers them.
inline constexpr uint32_t SPDRP_DEVICEDESC = 0;
inline constexpr uint32_t SPDRP_HARDWAREID = 1;
inline constexpr uint32_t SPDRP_COMPATIBLEIDS = 2;
inline constexpr uint32_t SPDRP_CLASS = 7;
inline constexpr uint32_t SPDRP_CLASSGUID = 8;
inline constexpr uint32_t SPDRP_DRIVER = 9;
inline constexpr uint32_t SPDRP_MFG = 11;
inline constexpr uint32_t SPDRP_ENUMERATOR_NAME = 22;
inline constexpr uint32_t SPDRP_INSTALL_STATE = 34;

// Flags of the device-set request: present devices of all classes.
inline constexpr uint32_t DIGCF_PRESENT = 0x2;
inline constexpr uint32_t DIGCF_ALLCLASSES = 0x4;

// Last-error values the operations report.
inline constexpr uint32_t ERROR_SUCCESS = 0;
inline constexpr uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr uint32_t ERROR_INVALID_DATA = 13;
inline constexpr uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr uint32_t ERROR_NO_MORE_ITEMS = 259;
inline constexpr uint32_t ERROR_INVALID_USER_BUFFER = 1784;

// Value types of a property.
inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_DWORD = 4;
inline constexpr uint32_t REG_MULTI_SZ = 7;

using DeviceSetHandle = std::intptr_t;
inline constexpr DeviceSetHandle kInvalidDeviceSet = -1;

// The device record the walk fills for each index. CbSize must be kDeviceInfoDataSize.
inline constexpr uint32_t kDeviceInfoDataSize = 28;
struct DeviceInfoData {
  uint32_t CbSize = 0;
  uint8_t ClassGuid[16] = {};
  uint32_t DevInst = 0;
  uintptr_t Reserved = 0;
};

// Where the class keys live: below HKEY_LOCAL_MACHINE.
inline constexpr const char* kControlClassPath = "\\SYSTEM\\CurrentControlSet\\Control\\Class\\";
inline constexpr const char* kServicesClassPath = "\\SYSTEM\\CurrentControlSet\\Services\\Class\\";

class DeviceSource {
 public:
  virtual ~DeviceSource() = default;

  // The set of devices matching the flags, or kInvalidDeviceSet when it cannot be obtained.
  virtual DeviceSetHandle GetClassDevs(uint32_t flags) = 0;
  // True and the record filled, or false (ERROR_NO_MORE_ITEMS) past the last device.
  virtual bool EnumDeviceInfo(DeviceSetHandle set, uint32_t index, DeviceInfoData& data) = 0;
  // True with the property's bytes when the buffer is large enough; false with
  // ERROR_INSUFFICIENT_BUFFER and the required size, or ERROR_INVALID_DATA when the device has no
  // such property. Success sets the last error to 0.
  virtual bool GetDeviceRegistryProperty(DeviceSetHandle set, const DeviceInfoData& data,
                                         uint32_t property, uint32_t* regType, uint8_t* buffer,
                                         uint32_t bufferSize, uint32_t* requiredSize) = 0;
  virtual bool DestroyDeviceInfoList(DeviceSetHandle set) = 0;

  // The machine registry (HKEY_LOCAL_MACHINE) in which the class keys are found.
  virtual RegistryBackend& MachineRegistry() = 0;

  // The calling thread's last-error value, as the operations leave it.
  uint32_t GetLastError() const { return m_lastError; }
  void SetLastError(uint32_t error) { m_lastError = error; }
  // Gives up the rest of the time slice once (the reader does it before reading an error).
  virtual void YieldProcessor() {}

 private:
  uint32_t m_lastError = ERROR_SUCCESS;
};

// One stored property: its value type and its bytes as the device installer would hand them out
// (strings zero-terminated, a multi-string ending with an extra zero).
struct DeviceProperty {
  uint32_t Type = REG_SZ;
  std::string Data;

  static DeviceProperty String(const std::string& text);
  static DeviceProperty MultiString(const std::vector<std::string>& texts);
  static DeviceProperty Dword(uint32_t value);
};

struct DeviceRecord {
  std::map<uint32_t, DeviceProperty> Properties;
};

// A source whose device sets are snapshots of device records taken when the set is requested; it
// answers the size probe from memory. The sysfs and fake sources build on it.
class SnapshotDeviceSource : public DeviceSource {
 public:
  DeviceSetHandle GetClassDevs(uint32_t flags) override;
  bool EnumDeviceInfo(DeviceSetHandle set, uint32_t index, DeviceInfoData& data) override;
  bool GetDeviceRegistryProperty(DeviceSetHandle set, const DeviceInfoData& data, uint32_t property,
                                 uint32_t* regType, uint8_t* buffer, uint32_t bufferSize,
                                 uint32_t* requiredSize) override;
  bool DestroyDeviceInfoList(DeviceSetHandle set) override;

  // Sets currently open (for tests that check every set is released).
  size_t OpenSets() const { return m_sets.size(); }

 protected:
  // The present devices in their enumeration order, or nothing when enumeration cannot start.
  virtual std::optional<std::vector<DeviceRecord>> TakeSnapshot() = 0;

 private:
  const DeviceRecord* Find(DeviceSetHandle set, const DeviceInfoData& data);
  std::map<DeviceSetHandle, std::vector<DeviceRecord>> m_sets;
  DeviceSetHandle m_nextHandle = 1;
};

}  // namespace cv2::hwsense
