#include "sysfs_device_source.h"

#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "device_ids.h"
#include "driver_info.h"
#include "hid_descriptor.h"
#include "ids_database.h"
#include "text_util.h"

namespace cv2::hwsense {

namespace {

constexpr uint32_t kInstallStateInstalled = 0;
// A device without a driver: Windows' "the drivers for this device are not installed".
constexpr uint32_t kInstallStateFailedInstall = 2;
constexpr size_t kReportDescriptorLimit = 64 * 1024;
constexpr size_t kCpuInfoLimit = 16u << 20;

struct FoundDevice {
  std::optional<std::string> Description;
  std::vector<std::string> HardwareIds;
  std::vector<std::string> CompatibleIds;
  std::optional<std::string> Manufacturer;
  std::string Enumerator;
  const SetupClass* Class = &classes::Unknown;
  DriverBinding Binding;
  std::vector<std::string> Modaliases;
};

std::string Hex4Lower(uint32_t value) {
  return AsciiLower(HexUpper(value, 4));
}

std::string Parent(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

DriverBinding BindingOf(const std::string& device) {
  DriverBinding binding;
  binding.Driver = LinkBaseName(device + "/driver");
  if (binding.Driver.empty()) return binding;
  binding.Bound = true;
  binding.Module = LinkBaseName(device + "/driver/module");
  return binding;
}

void AddModalias(FoundDevice& device, const std::string& path) {
  if (auto alias = ReadAttribute(path + "/modalias"); alias && !alias->empty())
    device.Modaliases.push_back(*alias);
}

// Generic ACPI and PnP identifiers that Windows names with its own system drivers.
struct KnownSystemDevice {
  const char* Id;
  const char* Description;
  const SetupClass* Class;
  const char* Manufacturer;
};

constexpr const char* kStandardSystem = "(Standard system devices)";
const KnownSystemDevice kKnownSystemDevices[] = {
    {"PNP0A03", "PCI bus", &classes::System, kStandardSystem},
    {"PNP0A08", "PCI bus", &classes::System, kStandardSystem},
    {"PNP0C0A", "ACPI-Compliant Control Method Battery", &classes::Battery, kStandardSystem},
    {"ACPI0003", "AC Adapter", &classes::Battery, kStandardSystem},
    {"PNP0C0C", "ACPI Power Button", &classes::System, kStandardSystem},
    {"PNP0C0D", "ACPI Lid", &classes::System, kStandardSystem},
    {"PNP0C0E", "ACPI Sleep Button", &classes::System, kStandardSystem},
    {"FixedButton", "ACPI Fixed Feature Button", &classes::System, kStandardSystem},
    {"ThermalZone", "ACPI Thermal Zone", &classes::System, kStandardSystem},
    {"PNP0C09", "ACPI-Compliant Embedded Controller", &classes::System, kStandardSystem},
    {"PNP0C01", "System board", &classes::System, kStandardSystem},
    {"PNP0C02", "Motherboard resources", &classes::System, kStandardSystem},
    {"PNP0C04", "Numeric data processor", &classes::System, kStandardSystem},
    {"PNP0C0F", "PCI Interrupt Link", &classes::System, kStandardSystem},
    {"PNP0C14", "Windows Management Interface for ACPI", &classes::System, kStandardSystem},
    {"PNP0000", "Programmable interrupt controller", &classes::System, kStandardSystem},
    {"PNP0100", "System timer", &classes::System, kStandardSystem},
    {"PNP0103", "High precision event timer", &classes::System, kStandardSystem},
    {"PNP0200", "Direct memory access controller", &classes::System, kStandardSystem},
    {"PNP0800", "System speaker", &classes::System, kStandardSystem},
    {"PNP0B00", "System CMOS/real time clock", &classes::System, kStandardSystem},
    {"PNP0303", "Standard 101/102-Key or Microsoft Natural PS/2 Keyboard", &classes::Keyboard,
     "(Standard keyboards)"},
    {"PNP0F13", "PS/2 Compatible Mouse", &classes::Mouse, "(Standard mouse types)"},
    {"PNP0500", "Communications Port", &classes::Ports, "(Standard port types)"},
    {"PNP0501", "Communications Port", &classes::Ports, "(Standard port types)"},
    {"PNP0400", "Printer Port", &classes::Ports, "(Standard port types)"},
    {"PNP0401", "ECP Printer Port", &classes::Ports, "(Standard port types)"},
    {"PNP0700", "Standard floppy disk controller", &classes::FDC,
     "(Standard floppy disk controllers)"},
};

// Description, class (with a driver) and manufacturer of an ACPI or PnP device by the first of
// its IDs (its own, then the compatible ones) that Windows knows.
void DescribeSystemDevice(FoundDevice& device, const std::vector<std::string>& ids) {
  for (const auto& id : ids) {
    for (const auto& known : kKnownSystemDevices) {
      if (id == known.Id) {
        device.Description = known.Description;
        device.Manufacturer = known.Manufacturer;
        device.Class = device.Binding.Bound ? known.Class : &classes::Unknown;
        return;
      }
    }
  }
  const std::string& id = ids.front();
  const SetupClass* cls = &classes::System;
  if (id.compare(0, 5, "PNP03") == 0) {
    device.Description = "Standard PS/2 Keyboard";
    cls = &classes::Keyboard;
  } else if (id.compare(0, 5, "PNP0F") == 0) {
    device.Description = "PS/2 Compatible Mouse";
    cls = &classes::Mouse;
  } else {
    device.Description = "ACPI device " + id;
  }
  if (id.compare(0, 3, "PNP") == 0) device.Manufacturer = kStandardSystem;
  device.Class = device.Binding.Bound ? cls : &classes::Unknown;
}

struct UsbInterface {
  std::string Path;
  uint32_t Number = 0;
  uint32_t Class = 0, SubClass = 0, Protocol = 0;
  std::optional<uint32_t> FirstOfFunction;  // with an interface association: its first interface
  uint32_t FunctionClass = 0, FunctionSubClass = 0, FunctionProtocol = 0;
};

struct UsbDevice {
  std::string Name, Path;
  uint32_t Bus = 0;
  std::vector<uint32_t> Ports;
  std::optional<uint32_t> Vendor, Product, Revision;
  uint32_t DeviceClass = 0, DeviceSubClass = 0, DeviceProtocol = 0;
  uint32_t Interfaces = 0, Configurations = 0;
  bool Composite = false;
  std::vector<UsbInterface> InterfaceList;
};

// "usb2" -> bus 2, no ports; "1-3.2" -> bus 1, ports 3, 2; nothing for other names.
bool ParseUsbName(const std::string& name, UsbDevice& device) {
  if (name.compare(0, 3, "usb") == 0) {
    auto bus = ParseDecimalText(name.substr(3));
    if (!bus) return false;
    device.Bus = *bus;
    return true;
  }
  auto dash = name.find('-');
  if (dash == std::string::npos) return false;
  auto bus = ParseDecimalText(name.substr(0, dash));
  if (!bus) return false;
  device.Bus = *bus;
  for (const auto& part : Split(name.substr(dash + 1), '.')) {
    auto port = ParseDecimalText(part);
    if (!port) return false;
    device.Ports.push_back(*port);
  }
  return true;
}

class Walker {
 public:
  Walker(const HwContext& context) : m_context(context) {}

  std::optional<std::vector<FoundDevice>> Walk() {
    if (!IsFolder(m_context.Path("sys"))) return std::nullopt;
    std::vector<FoundDevice> pci = WalkPci();
    std::vector<FoundDevice> usb = WalkUsb();
    ListPnp();
    std::vector<FoundDevice> devices = WalkAcpi();
    for (auto& d : WalkProcessors()) devices.push_back(std::move(d));
    for (auto& d : WalkHid()) devices.push_back(std::move(d));
    for (auto& d : pci) devices.push_back(std::move(d));
    for (auto& d : WalkRootPnp()) devices.push_back(std::move(d));
    for (auto& d : usb) devices.push_back(std::move(d));
    return devices;
  }

 private:
  const IdsDatabase& PciNames() {
    if (!m_pciNames) m_pciNames = std::make_unique<IdsDatabase>(m_context.PciIdsPath());
    return *m_pciNames;
  }
  const IdsDatabase& UsbNames() {
    if (!m_usbNames) m_usbNames = std::make_unique<IdsDatabase>(m_context.UsbIdsPath());
    return *m_usbNames;
  }

  std::vector<FoundDevice> WalkPci() {
    std::vector<FoundDevice> devices;
    const std::string bus = m_context.Path("sys/bus/pci/devices");
    for (const auto& name : ListFolder(bus)) {
      const std::string path = RealPath(bus + "/" + name);
      if (path.empty()) continue;  // gone since the folder was listed
      m_pciPaths.insert(path);
      FoundDevice device;
      device.Enumerator = "PCI";
      device.Binding = BindingOf(path);
      AddModalias(device, path);
      auto vendor = ReadHexAttribute(path + "/vendor");
      auto id = ReadHexAttribute(path + "/device");
      auto subVendor = ReadHexAttribute(path + "/subsystem_vendor");
      auto subDevice = ReadHexAttribute(path + "/subsystem_device");
      auto revision = ReadHexAttribute(path + "/revision");
      auto classCode = ReadHexAttribute(path + "/class");
      if (vendor && id && subVendor && subDevice && revision && classCode) {
        PciNumbers numbers{*vendor, *id, *subVendor, *subDevice, *revision, *classCode};
        IdLists ids = PciIds(numbers);
        device.HardwareIds = std::move(ids.HardwareIds);
        device.CompatibleIds = std::move(ids.CompatibleIds);
        m_controllers[path] = numbers;
      }
      if (vendor) device.Manufacturer = PciNames().VendorName(*vendor);
      if (vendor && id) device.Description = PciNames().DeviceName(*vendor, *id);
      if (!device.Description) {
        std::string text =
            "PCI device " + (vendor && id ? Hex4Lower(*vendor) + ":" + Hex4Lower(*id) : name);
        if (classCode) {
          auto kind = PciNames().SubclassName(*classCode >> 16, (*classCode >> 8) & 0xFF);
          if (!kind) kind = PciNames().ClassName(*classCode >> 16);
          if (kind) text += " (" + *kind + ")";
        }
        device.Description = text;
      }
      if (device.Binding.Bound && classCode) device.Class = &PciSetupClass(*classCode);
      devices.push_back(std::move(device));
    }
    return devices;
  }

  void ReadUsbTopology() {
    const std::string bus = m_context.Path("sys/bus/usb/devices");
    std::vector<std::string> interfaces;
    for (const auto& name : ListFolder(bus)) {
      if (name.find(':') != std::string::npos) {
        interfaces.push_back(name);
        continue;
      }
      UsbDevice device;
      if (!ParseUsbName(name, device)) continue;
      device.Name = name;
      device.Path = RealPath(bus + "/" + name);
      if (device.Path.empty()) continue;
      const std::string& p = device.Path;
      device.Vendor = ReadHexAttribute(p + "/idVendor");
      device.Product = ReadHexAttribute(p + "/idProduct");
      device.Revision = ReadHexAttribute(p + "/bcdDevice");
      device.DeviceClass = ReadHexAttribute(p + "/bDeviceClass").value_or(0);
      device.DeviceSubClass = ReadHexAttribute(p + "/bDeviceSubClass").value_or(0);
      device.DeviceProtocol = ReadHexAttribute(p + "/bDeviceProtocol").value_or(0);
      device.Interfaces = ReadDecimalAttribute(p + "/bNumInterfaces").value_or(0);
      device.Configurations = ReadDecimalAttribute(p + "/bNumConfigurations").value_or(0);
      const bool perInterface = device.DeviceClass == 0x00 ||
                                (device.DeviceClass == 0xEF && device.DeviceSubClass == 0x02 &&
                                 device.DeviceProtocol == 0x01);
      device.Composite = perInterface && device.Interfaces > 1 && device.Configurations == 1;
      m_usbPaths.insert(device.Path);
      m_usb.push_back(std::move(device));
    }
    std::map<std::string, UsbDevice*> byPath;
    for (auto& device : m_usb) byPath[device.Path] = &device;
    for (const auto& name : interfaces) {
      const std::string path = RealPath(bus + "/" + name);
      if (path.empty()) continue;
      m_usbPaths.insert(path);
      auto owner = byPath.find(Parent(path));
      if (owner == byPath.end()) continue;
      UsbInterface intf;
      intf.Path = path;
      auto number = ReadHexAttribute(path + "/bInterfaceNumber");
      if (!number) continue;
      intf.Number = *number;
      intf.Class = ReadHexAttribute(path + "/bInterfaceClass").value_or(0);
      intf.SubClass = ReadHexAttribute(path + "/bInterfaceSubClass").value_or(0);
      intf.Protocol = ReadHexAttribute(path + "/bInterfaceProtocol").value_or(0);
      if (auto first = ReadHexAttribute(path + "/iad_bFirstInterface")) {
        intf.FirstOfFunction = *first;
        intf.FunctionClass = ReadHexAttribute(path + "/iad_bFunctionClass").value_or(0);
        intf.FunctionSubClass = ReadHexAttribute(path + "/iad_bFunctionSubClass").value_or(0);
        intf.FunctionProtocol = ReadHexAttribute(path + "/iad_bFunctionProtocol").value_or(0);
      }
      owner->second->InterfaceList.push_back(intf);
    }
    for (auto& device : m_usb)
      std::sort(device.InterfaceList.begin(), device.InterfaceList.end(),
                [](const UsbInterface& a, const UsbInterface& b) { return a.Number < b.Number; });
    std::sort(m_usb.begin(), m_usb.end(), [](const UsbDevice& a, const UsbDevice& b) {
      return std::tie(a.Bus, a.Ports) < std::tie(b.Bus, b.Ports);
    });
  }

  std::vector<FoundDevice> WalkUsb() {
    ReadUsbTopology();
    std::vector<FoundDevice> devices;
    std::set<std::string> controllersSeen;
    for (const auto& usb : m_usb) {
      const UsbInterface* first = usb.InterfaceList.empty() ? nullptr : &usb.InterfaceList.front();
      FoundDevice device;
      device.Enumerator = "USB";
      if (usb.Ports.empty()) {
        // A root hub. An xHCI controller shows Linux one root hub per speed; Windows one.
        const std::string controllerPath = Parent(usb.Path);
        if (!controllersSeen.insert(controllerPath).second) continue;
        std::optional<PciNumbers> controller;
        if (auto it = m_controllers.find(controllerPath); it != m_controllers.end())
          controller = it->second;
        device.HardwareIds = RootHubIds(controller);
        device.Description = "USB Root Hub";
        if (controller) device.Manufacturer = PciNames().VendorName(controller->Vendor);
        if (first) {
          device.Binding = BindingOf(first->Path);
          AddModalias(device, first->Path);
        }
        if (device.Binding.Bound) device.Class = &classes::USB;
        devices.push_back(std::move(device));
        continue;
      }
      const bool numbers = usb.Vendor && usb.Product && usb.Revision;
      uint32_t cls = usb.DeviceClass, sub = usb.DeviceSubClass, prot = usb.DeviceProtocol;
      if (cls == 0 && first) {
        cls = first->Class;
        sub = first->SubClass;
        prot = first->Protocol;
      }
      if (numbers) {
        device.HardwareIds = UsbHardwareIds(m_context.Style(), *usb.Vendor, *usb.Product,
                                            *usb.Revision, std::nullopt);
        if (cls != 0 || first)
          device.CompatibleIds = UsbClassIds(m_context.Style(), cls, sub, prot);
        if (usb.Composite) device.CompatibleIds.emplace_back("USB\\COMPOSITE");
      }
      if (usb.Vendor) device.Manufacturer = UsbNames().VendorName(*usb.Vendor);
      if (usb.Vendor && usb.Product)
        device.Description = UsbNames().DeviceName(*usb.Vendor, *usb.Product);
      if (!device.Description)
        device.Description =
            "USB device " + (usb.Vendor && usb.Product
                                 ? Hex4Lower(*usb.Vendor) + ":" + Hex4Lower(*usb.Product)
                                 : usb.Name);
      if (usb.Composite) {
        // The composite parent: Linux's generic USB device driver stands for Windows' usbccgp.
        device.Binding = BindingOf(usb.Path);
        if (device.Binding.Bound) device.Class = &classes::USB;
      } else {
        // One function: the device node carries the driver of its interface.
        device.Binding = BindingOf(first ? first->Path : usb.Path);
        if (first) AddModalias(device, first->Path);
        if (device.Binding.Bound) device.Class = &UsbSetupClass(cls, sub, prot);
      }
      const auto manufacturer = device.Manufacturer;
      devices.push_back(std::move(device));
      if (!usb.Composite) continue;
      for (const auto& intf : usb.InterfaceList) {
        if (intf.FirstOfFunction && *intf.FirstOfFunction != intf.Number) continue;
        const bool iad = intf.FirstOfFunction.has_value();
        const uint32_t c = iad ? intf.FunctionClass : intf.Class;
        const uint32_t s = iad ? intf.FunctionSubClass : intf.SubClass;
        const uint32_t p = iad ? intf.FunctionProtocol : intf.Protocol;
        FoundDevice function;
        function.Enumerator = "USB";
        if (numbers) {
          function.HardwareIds = UsbHardwareIds(m_context.Style(), *usb.Vendor, *usb.Product,
                                                *usb.Revision, intf.Number);
          function.CompatibleIds = UsbClassIds(m_context.Style(), c, s, p);
        }
        function.Manufacturer = manufacturer;
        if (auto kind = UsbNames().ClassName(c))
          function.Description = "USB " + *kind;
        else
          function.Description = "USB interface " + AsciiLower(HexUpper(intf.Number, 2)) + " of " +
                                 device.Description.value_or(usb.Name);
        function.Binding = BindingOf(intf.Path);
        AddModalias(function, intf.Path);
        if (function.Binding.Bound) function.Class = &UsbSetupClass(c, s, p);
        devices.push_back(std::move(function));
      }
    }
    return devices;
  }

  std::vector<FoundDevice> WalkHid() {
    std::vector<FoundDevice> devices;
    const std::string bus = m_context.Path("sys/bus/hid/devices");
    for (const auto& name : ListFolder(bus)) {
      const std::string path = RealPath(bus + "/" + name);
      if (path.empty()) continue;
      // "BBBB:VVVV:PPPP.NNNN"
      auto parts = Split(name, ':');
      std::optional<uint32_t> vendor, product;
      if (parts.size() == 3) {
        vendor = ParseHexText(parts[1]);
        product = ParseHexText(parts[2].substr(0, parts[2].find('.')));
      }
      std::optional<uint32_t> revision, interface;
      const std::string intfPath = Parent(path);
      for (const auto& usb : m_usb) {
        if (usb.Path != Parent(intfPath)) continue;
        revision = usb.Revision;
        if (usb.Composite)
          for (const auto& intf : usb.InterfaceList)
            if (intf.Path == intfPath) interface = intf.Number;
      }
      const DriverBinding binding = BindingOf(path);
      auto descriptor = ReadFileLimited(path + "/report_descriptor", kReportDescriptorLimit);
      std::vector<std::optional<HidCollection>> collections;
      for (const auto& tlc : TopLevelCollections(descriptor.value_or("")))
        collections.emplace_back(tlc);
      if (collections.empty()) collections.emplace_back(std::nullopt);
      for (size_t i = 0; i < collections.size(); ++i) {
        FoundDevice device;
        device.Enumerator = "HID";
        device.Binding = binding;
        AddModalias(device, path);
        if (vendor && product)
          device.HardwareIds =
              HidHardwareIds(m_context.Style(), *vendor, *product, revision, interface,
                             collections.size() > 1 ? std::optional<uint32_t>(i + 1) : std::nullopt,
                             collections[i]);
        device.Description = HidDescription(collections[i]);
        if (vendor) device.Manufacturer = UsbNames().VendorName(*vendor);
        if (binding.Bound) device.Class = &HidSetupClass(collections[i]);
        devices.push_back(std::move(device));
      }
    }
    return devices;
  }

  void ListPnp() {
    const std::string bus = m_context.Path("sys/bus/pnp/devices");
    for (const auto& name : ListFolder(bus)) {
      std::string path = RealPath(bus + "/" + name);
      if (!path.empty()) m_pnpPaths.push_back(path);
    }
  }

  static std::vector<std::string> PnpIds(const std::string& path) {
    std::vector<std::string> ids;
    auto text = ReadFileLimited(path + "/id", 4096);
    for (const auto& line : Split(text.value_or(""), '\n')) {
      std::string id = Trim(line);
      if (!id.empty()) ids.push_back(id);
    }
    return ids;
  }

  std::vector<FoundDevice> WalkAcpi() {
    std::vector<FoundDevice> devices;
    const std::string bus = m_context.Path("sys/bus/acpi/devices");
    bool fixedButton = false;
    for (const auto& name : ListFolder(bus)) {
      const std::string path = RealPath(bus + "/" + name);
      if (path.empty()) continue;
      auto hid = ReadAttribute(path + "/hid");
      if (!hid || hid->empty()) continue;  // "device:NN": no ID of its own
      if (auto status = ReadDecimalAttribute(path + "/status"); status && !(*status & 1)) continue;
      std::vector<std::string> ids;
      auto modalias = ReadAttribute(path + "/modalias");
      if (hid->compare(0, 3, "LNX") == 0) {
        // Linux's own nodes: the fixed-feature buttons are one Windows device, thermal zones
        // are devices; the system and bus nodes, processors and the rest are not.
        if (*hid == "LNXPWRBN" || *hid == "LNXSLPBN") {
          if (fixedButton) continue;
          fixedButton = true;
          ids = {"FixedButton"};
        } else if (*hid == "LNXTHERM") {
          ids = {"ThermalZone"};
        } else {
          continue;
        }
      } else if (*hid == "ACPI0007") {
        continue;  // processors are listed from the CPUs
      } else {
        if (modalias && modalias->compare(0, 5, "acpi:") == 0)
          for (const auto& id : Split(modalias->substr(5), ':'))
            if (!id.empty()) ids.push_back(id);
        if (ids.empty()) ids.push_back(*hid);
      }
      // The physical devices Linux made of the node.
      std::vector<std::string> physical;
      bool listedElsewhere = false;
      for (const auto& entry : ListFolder(path)) {
        if (entry.compare(0, 13, "physical_node") != 0) continue;
        std::string target = RealPath(path + "/" + entry);
        if (target.empty()) continue;
        if (m_pciPaths.count(target) || m_usbPaths.count(target)) listedElsewhere = true;
        physical.push_back(target);
      }
      if (listedElsewhere) continue;
      FoundDevice device;
      device.Enumerator = "ACPI";
      IdLists lists = AcpiIds(ids);
      device.HardwareIds = std::move(lists.HardwareIds);
      device.CompatibleIds = std::move(lists.CompatibleIds);
      device.Binding = BindingOf(path);
      if (modalias && !modalias->empty()) device.Modaliases.push_back(*modalias);
      for (const auto& target : physical) {
        const bool pnp =
            std::find(m_pnpPaths.begin(), m_pnpPaths.end(), target) != m_pnpPaths.end();
        if (pnp)
          for (const auto& id : PnpIds(target)) device.Modaliases.push_back("pnp:d" + id);
        else
          AddModalias(device, target);
        if (!device.Binding.Bound) device.Binding = BindingOf(target);
      }
      // A PCI host bridge node is taken by the kernel's PCI root driver, which binds no driver.
      if (!device.Binding.Bound)
        for (const auto& target : physical)
          if (BaseName(target).compare(0, 3, "pci") == 0) device.Binding.Bound = true;
      DescribeSystemDevice(device, ids);
      devices.push_back(std::move(device));
    }
    return devices;
  }

  std::vector<FoundDevice> WalkRootPnp() {
    std::vector<FoundDevice> devices;
    for (const auto& path : m_pnpPaths) {
      if (!RealPath(path + "/firmware_node").empty()) continue;  // listed with its ACPI node
      std::vector<std::string> ids = PnpIds(path);
      if (ids.empty()) continue;
      FoundDevice device;
      device.Enumerator = "ROOT";
      for (size_t i = 0; i < ids.size(); ++i)
        (i == 0 ? device.HardwareIds : device.CompatibleIds).push_back("*" + ids[i]);
      device.Binding = BindingOf(path);
      for (const auto& id : ids) device.Modaliases.push_back("pnp:d" + id);
      DescribeSystemDevice(device, ids);
      devices.push_back(std::move(device));
    }
    return devices;
  }

  std::vector<FoundDevice> WalkProcessors() {
    // /proc/cpuinfo: blocks of "key<TAB>: value" lines, one block per online CPU.
    std::vector<std::map<std::string, std::string>> blocks(1);
    auto cpuinfo = ReadFileLimited(m_context.Path("proc/cpuinfo"), kCpuInfoLimit);
    for (const auto& line : Split(cpuinfo.value_or(""), '\n')) {
      if (line.empty()) {
        if (!blocks.back().empty()) blocks.emplace_back();
        continue;
      }
      auto colon = line.find(':');
      if (colon == std::string::npos) continue;
      std::string key = TrimRight(line.substr(0, colon));
      std::string value = line.substr(colon + 1);
      if (!value.empty() && value[0] == ' ') value.erase(0, 1);
      blocks.back().emplace(std::move(key), std::move(value));
    }
    std::vector<std::pair<uint32_t, std::string>> cpus;
    const std::string folder = m_context.Path("sys/devices/system/cpu");
    for (const auto& name : ListFolder(folder)) {
      if (name.compare(0, 3, "cpu") != 0) continue;
      if (auto number = ParseDecimalText(name.substr(3)))
        cpus.emplace_back(*number, folder + "/" + name);
    }
    std::sort(cpus.begin(), cpus.end());
    std::vector<FoundDevice> devices;
    for (const auto& [number, path] : cpus) {
      const std::map<std::string, std::string>* info = &blocks.front();
      for (const auto& block : blocks) {
        auto it = block.find("processor");
        if (it != block.end() && ParseDecimalText(it->second) == number) info = &block;
      }
      auto field = [&](const char* key) -> std::optional<std::string> {
        auto it = info->find(key);
        if (it == info->end()) return std::nullopt;
        return it->second;
      };
      const std::string vendor = field("vendor_id").value_or("");
      FoundDevice device;
      device.Enumerator = "ACPI";
      IdLists ids = ProcessorIds(vendor, ParseDecimalText(field("cpu family").value_or("")),
                                 ParseDecimalText(field("model").value_or("")));
      device.HardwareIds = std::move(ids.HardwareIds);
      device.CompatibleIds = std::move(ids.CompatibleIds);
      device.Description = field("model name");
      if (!device.Description || device.Description->empty()) device.Description = "Processor";
      if (vendor == "GenuineIntel")
        device.Manufacturer = PciNames().VendorName(0x8086);
      else if (vendor == "AuthenticAMD")
        device.Manufacturer = PciNames().VendorName(0x1022);
      if (!device.Manufacturer && !vendor.empty()) device.Manufacturer = vendor;
      device.Binding = BindingOf(path);
      // Without an ACPI processor driver an online CPU is still run by the kernel itself.
      if (!device.Binding.Bound && ReadDecimalAttribute(path + "/online").value_or(1) == 1)
        device.Binding.Bound = true;
      if (device.Binding.Bound) device.Class = &classes::Processor;
      devices.push_back(std::move(device));
    }
    return devices;
  }

  const HwContext& m_context;
  std::unique_ptr<IdsDatabase> m_pciNames;
  std::unique_ptr<IdsDatabase> m_usbNames;
  std::set<std::string> m_pciPaths;
  std::set<std::string> m_usbPaths;
  std::vector<std::string> m_pnpPaths;
  std::map<std::string, PciNumbers> m_controllers;
  std::vector<UsbDevice> m_usb;
};

}  // namespace

std::optional<std::vector<DeviceRecord>> SysfsDeviceSource::TakeSnapshot() {
  Walker walker(m_context);
  auto found = walker.Walk();
  if (!found) return std::nullopt;

  DriverInfo drivers(m_context);
  std::set<std::string> modules;
  for (auto& device : *found) {
    DriverBinding& binding = device.Binding;
    if (binding.Bound && binding.Module.empty() && !binding.Driver.empty())
      binding.Module = drivers.BuiltinModule(binding.Driver);
    if (binding.Bound && !binding.Module.empty()) modules.insert(binding.Module);
  }
  drivers.Prepare(modules);

  m_registry = MemoryRegistry();
  std::map<std::string, unsigned> instances;  // per class GUID
  std::vector<DeviceRecord> records;
  records.reserve(found->size());
  for (const auto& device : *found) {
    DeviceRecord record;
    auto& p = record.Properties;
    if (device.Description) p[SPDRP_DEVICEDESC] = DeviceProperty::String(*device.Description);
    if (!device.HardwareIds.empty())
      p[SPDRP_HARDWAREID] = DeviceProperty::MultiString(device.HardwareIds);
    if (!device.CompatibleIds.empty())
      p[SPDRP_COMPATIBLEIDS] = DeviceProperty::MultiString(device.CompatibleIds);
    if (device.Manufacturer) p[SPDRP_MFG] = DeviceProperty::String(*device.Manufacturer);
    p[SPDRP_INSTALL_STATE] = DeviceProperty::Dword(
        device.Binding.Bound ? kInstallStateInstalled : kInstallStateFailedInstall);
    p[SPDRP_CLASS] = DeviceProperty::String(device.Class->Name);
    p[SPDRP_CLASSGUID] = DeviceProperty::String(device.Class->Guid);
    p[SPDRP_ENUMERATOR_NAME] = DeviceProperty::String(device.Enumerator);
    if (device.Binding.Bound) {
      char number[16];
      std::snprintf(number, sizeof number, "%04u", instances[device.Class->Guid]++);
      const std::string driverKey = std::string(device.Class->Guid) + "\\" + number;
      p[SPDRP_DRIVER] = DeviceProperty::String(driverKey);
      const ClassKeyValues values = drivers.For(device.Binding, device.Modaliases);
      const std::string key = Registry::NormalizeKeyPath(kControlClassPath + driverKey);
      m_registry.CreateKey(key);
      m_registry.SetValue(key, "MatchingDeviceId", RegValue::MakeString(values.MatchingDeviceId));
      m_registry.SetValue(key, "DriverDate", RegValue::MakeString(values.DriverDate));
      m_registry.SetValue(key, "DriverVersion", RegValue::MakeString(values.DriverVersion));
    }
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace cv2::hwsense
