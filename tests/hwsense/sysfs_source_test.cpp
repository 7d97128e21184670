// The sysfs device source over fixture trees: the golden hardware list of each captured or
// hand-built machine, malformed and vanishing files, and the driver data helpers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "driver_info.h"
#include "hardware_list.h"
#include "paths.h"
#include "sysfs_device_source.h"

namespace cv2::hwsense {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> HardwareListOf(const std::string& root) {
  HwContext context(root);
  SysfsDeviceSource source(context);
  HwListState state{source, nullptr};
  return BuildHardwareList(state);
}

TEST(SysfsSource, FixtureTreesGiveTheirExpectedHardwareList) {
  int trees = 0;
  for (const auto& entry : fs::directory_iterator(std::string(CV2_TEST_DATA) + "/sysfs")) {
    const std::string expectedPath = (entry.path() / "expected-hwlist.txt").string();
    std::string expected;
    if (!ReadWholeFile(expectedPath, expected)) continue;
    SCOPED_TRACE(entry.path().string());
    ++trees;
    EXPECT_EQ(HardwareListOf(entry.path().string()), expected);
  }
  EXPECT_GE(trees, 2);
}

class TempTree {
 public:
  TempTree() {
    char pattern[] = "/tmp/hwsense-tree-XXXXXX";
    m_root = mkdtemp(pattern);
  }
  ~TempTree() { fs::remove_all(m_root); }
  const std::string& Root() const { return m_root; }
  void File(const std::string& rel, const std::string& content) {
    fs::create_directories(fs::path(m_root + "/" + rel).parent_path());
    std::ofstream(m_root + "/" + rel, std::ios::binary) << content;
  }
  void Link(const std::string& rel, const std::string& target) {
    fs::create_directories(fs::path(m_root + "/" + rel).parent_path());
    fs::create_symlink(target, m_root + "/" + rel);
  }
  void Folder(const std::string& rel) { fs::create_directories(m_root + "/" + rel); }

 private:
  std::string m_root;
};

TEST(SysfsSource, MalformedAndVanishedFilesLeavePropertiesAbsent) {
  TempTree tree;
  const std::string dev = "sys/devices/pci0000:00/0000:00:02.0";
  // Blank padding and a missing final newline are read; an oversized revision file and a
  // folder where the class file should be are not.
  tree.File(dev + "/vendor", "  0x8086  \n");
  tree.File(dev + "/device", "0x9a49");
  tree.File(dev + "/subsystem_vendor", "0x17aa\n");
  tree.File(dev + "/subsystem_device", "0x22d8\n");
  tree.File(dev + "/revision", std::string(200000, '1'));
  tree.Folder(dev + "/class");
  tree.Link("sys/bus/pci/devices/0000:00:02.0", "../../../devices/pci0000:00/0000:00:02.0");
  // A device that went away after its bus listed it.
  tree.Link("sys/bus/pci/devices/0000:00:09.0", "../../../devices/pci0000:00/0000:00:09.0");
  // A HID device whose report descriptor is cut off inside an item.
  const std::string hid = "sys/devices/virtual/0006:1234:5678.0001";
  tree.File(hid + "/report_descriptor", std::string("\x05\x01\x09\x02\xA1\x01\x26\xFF", 8));
  tree.Link("sys/bus/hid/devices/0006:1234:5678.0001",
            "../../../devices/virtual/0006:1234:5678.0001");
  // A processor whose name begins with blanks, as older CPUs report it.
  tree.Folder("sys/devices/system/cpu/cpu0");
  tree.File("proc/cpuinfo",
            "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 15\nmodel\t\t: 2\n"
            "model name\t:       Intel(R) Pentium(R) 4 CPU 2.40GHz\n");
  tree.File("usr/share/misc/pci.ids", "8086  Intel Corporation\n\t9a49  Iris Xe\n");

  const auto text = HardwareListOf(tree.Root());
  ASSERT_TRUE(text);
  const std::string expected =
      "      Intel(R) Pentium(R) 4 CPU 2.40GHz\r\n"
      "\tHardwareID\r\n"
      "\t\tACPI\\GenuineIntel_-_x86_Family_15_Model_2\r\n"
      "\t\t*GenuineIntel_-_x86_Family_15_Model_2\r\n"
      "\t\tACPI\\GenuineIntel_-_x86_Family_15\r\n"
      "\t\t*GenuineIntel_-_x86_Family_15\r\n"
      "\t\tACPI\\GenuineIntel\r\n"
      "\t\t*GenuineIntel\r\n"
      "\tCompatible HWID\r\n\t\tACPI\\Processor\r\n"
      "\tManufacturers\r\n\t\tIntel Corporation\r\n"
      "\tInstallState\r\n"
      "\tDriver GUID\r\n\t\t{50127DC3-0F36-415E-A6CC-4CB3BE910B65}\\0000\r\n"
      "\tDevice Class\r\n\t\tProcessor\r\n"
      "\tConnection bus\r\n\t\tACPI\r\n"
      "\tClass GUID\r\n\t\t{50127DC3-0F36-415E-A6CC-4CB3BE910B65}\r\n"
      "\tMatching HWID\r\n"
      "\tDriver date\r\n"
      "\tDriver Version\r\n\t\t0.0.0.0\r\n"
      "HID-compliant mouse\r\n"
      "\tHardwareID\r\n"
      "\t\tHID\\Vid_1234&Pid_5678\r\n"
      "\t\tHID_DEVICE_SYSTEM_MOUSE\r\n"
      "\t\tHID_DEVICE_UP:0001_U:0002\r\n"
      "\t\tHID_DEVICE\r\n"
      "\tCompatible HWID\r\n"
      "\tManufacturers\r\n"
      "\tInstallState\r\n\t\t2\r\n"
      "\tDriver GUID\r\n"
      "\tDevice Class\r\n\t\tUnknown\r\n"
      "\tConnection bus\r\n\t\tHID\r\n"
      "\tClass GUID\r\n\t\t{4D36E97E-E325-11CE-BFC1-08002BE10318}\r\n"
      "Iris Xe\r\n"
      "\tHardwareID\r\n"
      "\tCompatible HWID\r\n"
      "\tManufacturers\r\n\t\tIntel Corporation\r\n"
      "\tInstallState\r\n\t\t2\r\n"
      "\tDriver GUID\r\n"
      "\tDevice Class\r\n\t\tUnknown\r\n"
      "\tConnection bus\r\n\t\tPCI\r\n"
      "\tClass GUID\r\n\t\t{4D36E97E-E325-11CE-BFC1-08002BE10318}\r\n";
  EXPECT_EQ(*text, expected);
}

TEST(SysfsSource, RootWithoutSysfsCannotStart) {
  TempTree tree;
  EXPECT_EQ(HardwareListOf(tree.Root()), std::nullopt);
  tree.Folder("sys");
  EXPECT_EQ(HardwareListOf(tree.Root()), std::string());
}

TEST(DriverData, KernelBuildDate) {
  const std::pair<const char*, const char*> cases[] = {
      {"#1 SMP PREEMPT_DYNAMIC @0", ""},
      {"#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)", "2-1-2024"},
      {"#35~22.04.1-Ubuntu SMP PREEMPT_DYNAMIC Thu Feb  1 09:23:23 UTC 2024", "2-1-2024"},
      {"#1 SMP PREEMPT_DYNAMIC Mon Dec 30 19:51:36 UTC 2019", "12-30-2019"},
      {"#1 SMP @1706745600", "2-1-2024"},
      {"", ""},
  };
  for (const auto& [version, date] : cases) EXPECT_EQ(KernelBuildDate(version), date) << version;
}

TEST(DriverData, FourPartVersion) {
  const std::pair<const char*, const char*> cases[] = {
      {"6.18.44-fc-v1607", "6.18.44.1607"}, {"1.0.2.0-k", "1.0.2.0"},     {"2.3", "2.3.0.0"},
      {"6.1.0-18-amd64", "6.1.0.18"},       {"007.99999", "7.65534.0.0"}, {"k", ""},
  };
  for (const auto& [text, version] : cases) EXPECT_EQ(FourPartVersion(text), version) << text;
}

TEST(DriverData, AliasAsWindowsId) {
  const std::pair<const char*, const char*> cases[] = {
      {"pci:v00008086d000010D3sv*sd*bc*sc*i*", "pci\\ven_8086&dev_10d3"},
      {"pci:v00008086d000010D3sv000017AAsd000022D8bc*sc*i*",
       "pci\\ven_8086&dev_10d3&subsys_22d817aa"},
      {"pci:v*d*sv*sd*bc0Csc03i30*", "pci\\cc_0c0330"},
      {"pci:v*d*sv*sd*bc01sc08i*", "pci\\cc_0108"},
      {"usb:v046DpC52Bd*dc*dsc*dp*ic*isc*ip*in*", "usb\\vid_046d&pid_c52b"},
      {"usb:v*p*d*dc*dsc*dp*ic03isc01ip02in*", "usb\\class_03&subclass_01&prot_02"},
      {"usb:v*p*d*dc09dsc*dp*ic*isc*ip*in*", "usb\\class_09"},
      {"hid:b0003g*v0000046Dp0000C52B", "hid\\vid_046d&pid_c52b"},
      {"acpi*:PNP0C0A:*", "*pnp0c0a"},
      {"pnp:dPNP0303*", "*pnp0303"},
      {"pci:v*d*sv*sd*bc*sc*i*", ""},
      {"of:N*T*Cfsl,imx", ""},
  };
  for (const auto& [pattern, id] : cases) EXPECT_EQ(AliasAsWindowsId(pattern), id) << pattern;
}

}  // namespace
}  // namespace cv2::hwsense
