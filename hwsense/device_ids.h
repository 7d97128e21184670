#pragma once
// Windows-style identifiers of devices, built from the numbers Linux shows in sysfs, and the
// device setup classes they fall into.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hw_context.h"

namespace cv2::hwsense {

struct IdLists {
  std::vector<std::string> HardwareIds;
  std::vector<std::string> CompatibleIds;
};

struct SetupClass {
  const char* Name;
  const char* Guid;
};

namespace classes {
extern const SetupClass Display, HDC, SCSIAdapter, FDC, Net, MEDIA, System, PCMCIA, Ports,
    MultiportSerial, Modem, SDHost, Ieee1394, USB, Infrared, Bluetooth, Unknown, HIDClass, Keyboard,
    Mouse, Image, SmartCardReader, Printer, Battery, Processor;
}

struct PciNumbers {
  uint32_t Vendor = 0, Device = 0, SubVendor = 0, SubDevice = 0, Revision = 0;
  uint32_t ClassCode = 0;  // base, sub-class, programming interface
};
IdLists PciIds(const PciNumbers& pci);
// The class of a PCI function with a bound driver.
const SetupClass& PciSetupClass(uint32_t classCode);

// USB device node: "USB\Vid_v&Pid_p&Rev_r", "USB\Vid_v&Pid_p" (interface nodes add "&MI_zz").
std::vector<std::string> UsbHardwareIds(IdStyle style, uint32_t vendor, uint32_t product,
                                        uint32_t revision, std::optional<uint32_t> interface);
// "USB\Class_cc&SubClass_ss&Prot_pp", "USB\Class_cc&SubClass_ss", "USB\Class_cc".
std::vector<std::string> UsbClassIds(IdStyle style, uint32_t cls, uint32_t sub, uint32_t prot);
// A root hub named after its host controller: ROOT_HUB (UHCI, OHCI), ROOT_HUB20 (EHCI),
// ROOT_HUB30 (xHCI); without a PCI controller, the bare form only.
std::vector<std::string> RootHubIds(const std::optional<PciNumbers>& controller);
// The class of a USB function from its class codes, with a bound driver.
const SetupClass& UsbSetupClass(uint32_t cls, uint32_t sub, uint32_t prot);

struct HidCollection {
  uint32_t UsagePage = 0;
  uint32_t Usage = 0;
};
// One top-level collection. `collection` is its number from 1 when the device has more than one.
std::vector<std::string> HidHardwareIds(IdStyle style, uint32_t vendor, uint32_t product,
                                        std::optional<uint32_t> revision,
                                        std::optional<uint32_t> interface,
                                        std::optional<uint32_t> collection,
                                        std::optional<HidCollection> usage);
const SetupClass& HidSetupClass(const std::optional<HidCollection>& usage);
std::string HidDescription(const std::optional<HidCollection>& usage);

// ACPI: "ACPI\<id>", "*<id>" for the device's own ID, the same forms of each compatible ID.
IdLists AcpiIds(const std::vector<std::string>& ids);

// Processors: vendor string ("GenuineIntel"), family and model in decimal.
IdLists ProcessorIds(const std::string& vendor, std::optional<uint32_t> family,
                     std::optional<uint32_t> model);

}  // namespace cv2::hwsense
