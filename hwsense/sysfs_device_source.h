#pragma once
// The device source of a Linux machine: sysfs, /proc and the kernel module tables below the
// context's root, described as Windows' device installer would describe the same devices.
//
// Devices, in this order: ACPI devices and processors (enumerator ACPI), HID top-level
// collections (HID), PCI functions (PCI), PnP devices without an ACPI node (ROOT), USB devices
// with the interfaces of composite devices after each (USB). Within a bus the order is that of
// the sysfs names, so an unchanged machine lists its devices in the same order every time and
// the driver keys ({class GUID}\NNNN, numbered per class in that order) stay the same.
#include "device_source.h"
#include "hw_context.h"
#include "registry_memory.h"

namespace cv2::hwsense {

class SysfsDeviceSource : public SnapshotDeviceSource {
 public:
  explicit SysfsDeviceSource(const HwContext& context) : m_context(context) {}
  // The class keys of the devices of the last device set.
  RegistryBackend& MachineRegistry() override { return m_registry; }

 protected:
  // Nothing when the sysfs folder of the root cannot be read.
  std::optional<std::vector<DeviceRecord>> TakeSnapshot() override;

 private:
  const HwContext& m_context;
  MemoryRegistry m_registry;
};

}  // namespace cv2::hwsense
