#include "device_ids.h"

#include "text_util.h"

namespace cv2::hwsense {

namespace classes {
const SetupClass Display{"Display", "{4D36E968-E325-11CE-BFC1-08002BE10318}"};
const SetupClass HDC{"HDC", "{4D36E96A-E325-11CE-BFC1-08002BE10318}"};
const SetupClass SCSIAdapter{"SCSIAdapter", "{4D36E97B-E325-11CE-BFC1-08002BE10318}"};
const SetupClass FDC{"FDC", "{4D36E969-E325-11CE-BFC1-08002BE10318}"};
const SetupClass Net{"Net", "{4D36E972-E325-11CE-BFC1-08002BE10318}"};
const SetupClass MEDIA{"MEDIA", "{4D36E96C-E325-11CE-BFC1-08002BE10318}"};
const SetupClass System{"System", "{4D36E97D-E325-11CE-BFC1-08002BE10318}"};
const SetupClass PCMCIA{"PCMCIA", "{4D36E977-E325-11CE-BFC1-08002BE10318}"};
const SetupClass Ports{"Ports", "{4D36E978-E325-11CE-BFC1-08002BE10318}"};
const SetupClass MultiportSerial{"MultiportSerial", "{50906CB8-BA12-11D1-BF5D-0000F805F530}"};
const SetupClass Modem{"Modem", "{4D36E96D-E325-11CE-BFC1-08002BE10318}"};
const SetupClass SDHost{"SDHost", "{A0A588A4-C46F-4B37-B7EA-C82FE89870C6}"};
const SetupClass Ieee1394{"1394", "{6BDD1FC1-810F-11D0-BEC7-08002BE2092F}"};
const SetupClass USB{"USB", "{36FC9E60-C465-11CF-8056-444553540000}"};
const SetupClass Infrared{"Infrared", "{6BDD1FC5-810F-11D0-BEC7-08002BE2092F}"};
const SetupClass Bluetooth{"Bluetooth", "{E0CBF06C-CD8B-4647-BB8A-263B43F0F974}"};
const SetupClass Unknown{"Unknown", "{4D36E97E-E325-11CE-BFC1-08002BE10318}"};
const SetupClass HIDClass{"HIDClass", "{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}"};
const SetupClass Keyboard{"Keyboard", "{4D36E96B-E325-11CE-BFC1-08002BE10318}"};
const SetupClass Mouse{"Mouse", "{4D36E96F-E325-11CE-BFC1-08002BE10318}"};
const SetupClass Image{"Image", "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}"};
const SetupClass SmartCardReader{"SmartCardReader", "{50DD5230-BA8A-11D1-BF5D-0000F805F530}"};
const SetupClass Printer{"Printer", "{4D36E979-E325-11CE-BFC1-08002BE10318}"};
const SetupClass Battery{"Battery", "{72631E54-78A4-11D0-BCF7-00AA00B7B32A}"};
const SetupClass Processor{"Processor", "{50127DC3-0F36-415E-A6CC-4CB3BE910B65}"};
}  // namespace classes

namespace {
std::string Hex(uint32_t value, int digits) {
  return HexUpper(value, digits);
}
std::string HexLower(uint32_t value, int digits) {
  return AsciiLower(HexUpper(value, digits));
}

// Hex digits of USB and HID identifiers: lower case in the XP generation, upper case later.
std::string UsbHex(IdStyle style, uint32_t value, int digits) {
  return style == IdStyle::Xp ? HexLower(value, digits) : Hex(value, digits);
}
std::string VidPid(IdStyle style, uint32_t vendor, uint32_t product) {
  return style == IdStyle::Xp
             ? "Vid_" + UsbHex(style, vendor, 4) + "&Pid_" + UsbHex(style, product, 4)
             : "VID_" + UsbHex(style, vendor, 4) + "&PID_" + UsbHex(style, product, 4);
}
std::string Rev(IdStyle style, uint32_t revision) {
  return (style == IdStyle::Xp ? "&Rev_" : "&REV_") + UsbHex(style, revision, 4);
}
}  // namespace

IdLists PciIds(const PciNumbers& pci) {
  const std::string ven = "PCI\\VEN_" + Hex(pci.Vendor, 4);
  const std::string venDev = ven + "&DEV_" + Hex(pci.Device, 4);
  const std::string subsys = "&SUBSYS_" + Hex(pci.SubDevice, 4) + Hex(pci.SubVendor, 4);
  const std::string rev = "&REV_" + Hex(pci.Revision, 2);
  const std::string cc6 = "CC_" + Hex(pci.ClassCode, 6);
  const std::string cc4 = "CC_" + Hex(pci.ClassCode >> 8, 4);
  IdLists ids;
  ids.HardwareIds = {venDev + subsys + rev, venDev + subsys};
  if (pci.SubVendor == 0 && pci.SubDevice == 0) {
    // Without a subsystem the vendor-and-device forms move up into the hardware IDs.
    ids.HardwareIds.push_back(venDev + rev);
    ids.HardwareIds.push_back(venDev);
  } else {
    ids.CompatibleIds = {venDev + rev, venDev};
  }
  ids.HardwareIds.push_back(venDev + "&" + cc6);
  ids.HardwareIds.push_back(venDev + "&" + cc4);
  for (const auto& id : {ven + "&" + cc6, ven + "&" + cc4, ven, "PCI\\" + cc6, "PCI\\" + cc4})
    ids.CompatibleIds.push_back(id);
  return ids;
}

const SetupClass& PciSetupClass(uint32_t classCode) {
  const uint32_t base = (classCode >> 16) & 0xFF;
  const uint32_t sub = (classCode >> 8) & 0xFF;
  switch (base) {
    case 0x00:
      return sub == 0x01 ? classes::Display : classes::Unknown;
    case 0x01:
      if (sub == 0x01 || sub == 0x05 || sub == 0x06) return classes::HDC;
      if (sub == 0x02) return classes::FDC;
      return classes::SCSIAdapter;
    case 0x02:
      return classes::Net;
    case 0x03:
      return classes::Display;
    case 0x04:
      return sub == 0x03 ? classes::System : classes::MEDIA;
    case 0x05:
      return classes::System;
    case 0x06:
      return sub == 0x07 ? classes::PCMCIA : classes::System;
    case 0x07:
      if (sub == 0x00 || sub == 0x01) return classes::Ports;
      if (sub == 0x02) return classes::MultiportSerial;
      if (sub == 0x03) return classes::Modem;
      return classes::System;
    case 0x08:
      return sub == 0x05 ? classes::SDHost : classes::System;
    case 0x09:
      return sub == 0x04 ? classes::MEDIA : classes::System;
    case 0x0C:
      if (sub == 0x00) return classes::Ieee1394;
      if (sub == 0x03) return classes::USB;
      if (sub == 0x04) return classes::SCSIAdapter;
      return classes::System;
    case 0x0D:
      if (sub == 0x00) return classes::Infrared;
      if (sub == 0x11) return classes::Bluetooth;
      return classes::Net;
    case 0x0A:
    case 0x0B:
    case 0x0E:
    case 0x10:
    case 0x11:
    case 0x12:
      return classes::System;
    default:
      // Unassigned (FF) and classes without a Windows counterpart.
      return classes::Unknown;
  }
}

std::vector<std::string> UsbHardwareIds(IdStyle style, uint32_t vendor, uint32_t product,
                                        uint32_t revision, std::optional<uint32_t> interface) {
  const std::string base = "USB\\" + VidPid(style, vendor, product);
  const std::string mi = interface ? "&MI_" + UsbHex(style, *interface, 2) : "";
  return {base + Rev(style, revision) + mi, base + mi};
}

std::vector<std::string> UsbClassIds(IdStyle style, uint32_t cls, uint32_t sub, uint32_t prot) {
  const std::string c = "USB\\Class_" + UsbHex(style, cls, 2);
  const std::string s = c + "&SubClass_" + UsbHex(style, sub, 2);
  return {s + "&Prot_" + UsbHex(style, prot, 2), s, c};
}

std::vector<std::string> RootHubIds(const std::optional<PciNumbers>& controller) {
  std::string kind = "ROOT_HUB";
  if (controller) {
    const uint32_t progIf = controller->ClassCode & 0xFF;
    if (progIf == 0x20) kind = "ROOT_HUB20";
    if (progIf == 0x30) kind = "ROOT_HUB30";
  }
  if (!controller) return {"USB\\" + kind};
  return {"USB\\" + kind + "&VID" + Hex(controller->Vendor, 4) + "&PID" +
              Hex(controller->Device, 4) + "&REV" + Hex(controller->Revision, 4),
          "USB\\" + kind};
}

const SetupClass& UsbSetupClass(uint32_t cls, uint32_t sub, uint32_t prot) {
  switch (cls) {
    case 0x01:
    case 0x10:
      return classes::MEDIA;
    case 0x02:
      return sub == 0x02 ? classes::Modem : classes::Net;
    case 0x03:
      return classes::HIDClass;
    case 0x06:
    case 0x0E:
      return classes::Image;
    case 0x07:
      return classes::Printer;
    case 0x08:
    case 0x09:
      return classes::USB;
    case 0x0A:
      return classes::Net;
    case 0x0B:
      return classes::SmartCardReader;
    case 0xE0:
      return sub == 0x01 && prot == 0x01 ? classes::Bluetooth : classes::Net;
    case 0xEF:
      return classes::USB;
    default:
      return classes::Unknown;
  }
}

namespace {
struct HidUsageName {
  uint32_t Page, Usage;
  const char* SystemId;
  const char* Description;
  const SetupClass* Class;
};
const HidUsageName kHidUsages[] = {
    {0x01, 0x01, "HID_DEVICE_SYSTEM_MOUSE", "HID-compliant mouse", &classes::Mouse},
    {0x01, 0x02, "HID_DEVICE_SYSTEM_MOUSE", "HID-compliant mouse", &classes::Mouse},
    {0x01, 0x04, "HID_DEVICE_SYSTEM_GAME", "HID-compliant game controller", &classes::HIDClass},
    {0x01, 0x05, "HID_DEVICE_SYSTEM_GAME", "HID-compliant game controller", &classes::HIDClass},
    {0x01, 0x06, "HID_DEVICE_SYSTEM_KEYBOARD", "HID Keyboard Device", &classes::Keyboard},
    {0x01, 0x07, "HID_DEVICE_SYSTEM_KEYBOARD", "HID Keyboard Device", &classes::Keyboard},
    {0x01, 0x80, "HID_DEVICE_SYSTEM_CONTROL", "HID-compliant system controller",
     &classes::HIDClass},
    {0x0C, 0x01, "HID_DEVICE_SYSTEM_CONSUMER", "HID-compliant consumer control device",
     &classes::HIDClass},
};

const HidUsageName* FindUsage(const std::optional<HidCollection>& usage) {
  if (!usage) return nullptr;
  for (const auto& entry : kHidUsages)
    if (entry.Page == usage->UsagePage && entry.Usage == usage->Usage) return &entry;
  return nullptr;
}
}  // namespace

std::vector<std::string> HidHardwareIds(IdStyle style, uint32_t vendor, uint32_t product,
                                        std::optional<uint32_t> revision,
                                        std::optional<uint32_t> interface,
                                        std::optional<uint32_t> collection,
                                        std::optional<HidCollection> usage) {
  const std::string base = "HID\\" + VidPid(style, vendor, product);
  std::string tail;
  if (interface) tail += "&MI_" + UsbHex(style, *interface, 2);
  if (collection) tail += "&Col" + UsbHex(style, *collection, 2);
  std::vector<std::string> ids;
  if (revision) ids.push_back(base + Rev(style, *revision) + tail);
  ids.push_back(base + tail);
  if (const auto* known = FindUsage(usage)) ids.emplace_back(known->SystemId);
  if (usage)
    ids.push_back("HID_DEVICE_UP:" + Hex(usage->UsagePage, 4) + "_U:" + Hex(usage->Usage, 4));
  ids.emplace_back("HID_DEVICE");
  return ids;
}

const SetupClass& HidSetupClass(const std::optional<HidCollection>& usage) {
  const auto* known = FindUsage(usage);
  return known ? *known->Class : classes::HIDClass;
}

std::string HidDescription(const std::optional<HidCollection>& usage) {
  const auto* known = FindUsage(usage);
  return known ? known->Description : "HID-compliant device";
}

IdLists AcpiIds(const std::vector<std::string>& ids) {
  IdLists lists;
  for (size_t i = 0; i < ids.size(); ++i) {
    auto& target = i == 0 ? lists.HardwareIds : lists.CompatibleIds;
    target.push_back("ACPI\\" + ids[i]);
    target.push_back("*" + ids[i]);
  }
  return lists;
}

IdLists ProcessorIds(const std::string& vendor, std::optional<uint32_t> family,
                     std::optional<uint32_t> model) {
  IdLists lists;
  if (!vendor.empty()) {
    std::vector<std::string> forms;
    if (family) {
      const std::string withFamily = vendor + "_-_x86_Family_" + std::to_string(*family);
      if (model) forms.push_back(withFamily + "_Model_" + std::to_string(*model));
      forms.push_back(withFamily);
    }
    forms.push_back(vendor);
    for (const auto& form : forms) {
      lists.HardwareIds.push_back("ACPI\\" + form);
      lists.HardwareIds.push_back("*" + form);
    }
  }
  lists.CompatibleIds.push_back("ACPI\\Processor");
  return lists;
}

}  // namespace cv2::hwsense
