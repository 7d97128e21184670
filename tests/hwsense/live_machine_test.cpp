// The hardware list of the machine the tests run on, against its sysfs and against lspci.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <tuple>

#include "hardware_list.h"
#include "hw_context.h"
#include "sysfs_device_source.h"
#include "text_util.h"
#include "tree_text.h"

namespace cv2::hwsense {
namespace {

// vendor, device, subsystem (device then vendor, as in SUBSYS_), revision
using PciKey = std::tuple<std::string, std::string, std::string, std::string>;

std::string Hex(const std::string& path, int digits) {
  auto value = ReadHexAttribute(path);
  return value ? HexUpper(*value, digits) : "?";
}

TEST(LiveMachine, PciFunctionsAgreeWithSysfsAndLspci) {
  const std::string bus = "/sys/bus/pci/devices";
  if (!std::filesystem::exists(bus)) GTEST_SKIP() << "no PCI bus on this machine";
  HwContext context("/");
  SysfsDeviceSource source(context);
  HwListState state{source, nullptr};
  auto text = BuildHardwareList(state);
  ASSERT_TRUE(text);
  Tree tree;
  ReadTreeText(*text, tree);

  std::multiset<PciKey> listed;
  std::multiset<std::pair<std::string, std::string>> listedIds;
  for (const auto& device : tree.Roots) {
    const TreeNode* ids = device.FindChild("HardwareID");
    if (!ids || ids->Children.empty()) continue;
    const std::string& id = ids->Children.front().Text;
    if (id.compare(0, 4, "PCI\\") != 0) continue;
    // PCI\VEN_vvvv&DEV_dddd&SUBSYS_ssssssss&REV_rr
    ASSERT_EQ(id.size(), 44u) << id;
    listed.insert({id.substr(8, 4), id.substr(17, 4), id.substr(29, 8), id.substr(42, 2)});
    listedIds.insert({id.substr(8, 4), id.substr(17, 4)});
  }

  std::multiset<PciKey> present;
  for (const auto& entry : std::filesystem::directory_iterator(bus)) {
    const std::string p = entry.path().string();
    present.insert({Hex(p + "/vendor", 4), Hex(p + "/device", 4),
                    Hex(p + "/subsystem_device", 4) + Hex(p + "/subsystem_vendor", 4),
                    Hex(p + "/revision", 2)});
  }
  EXPECT_EQ(listed, present);

  // lspci -n: "00:03.0 0200: 1af4:1041 (rev 01)"
  FILE* pipe = popen("lspci -n 2>/dev/null", "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  ASSERT_EQ(pclose(pipe), 0) << "lspci (pciutils) is needed";
  std::multiset<std::pair<std::string, std::string>> lspciIds;
  for (const auto& line : SplitLines(output)) {
    auto words = Split(line, ' ');
    ASSERT_GE(words.size(), 3u) << line;
    lspciIds.insert({AsciiUpper(words[2].substr(0, 4)), AsciiUpper(words[2].substr(5, 4))});
  }
  EXPECT_EQ(listedIds, lspciIds);
}

}  // namespace
}  // namespace cv2::hwsense
