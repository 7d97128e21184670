// The hardware list and the identifier lists over a fake device source and registry.
#include "hardware_list.h"

#include <gtest/gtest.h>

#include "fake_device_source.h"

namespace cv2::hwsense {
namespace {

constexpr const char* kNet = "{4D36E972-E325-11CE-BFC1-08002BE10318}";

DeviceRecord Device(std::optional<std::string> description, std::vector<std::string> hardwareIds,
                    std::vector<std::string> compatibleIds, std::optional<std::string> driverKey) {
  DeviceRecord d;
  auto& p = d.Properties;
  if (description) p[SPDRP_DEVICEDESC] = DeviceProperty::String(*description);
  if (!hardwareIds.empty()) p[SPDRP_HARDWAREID] = DeviceProperty::MultiString(hardwareIds);
  if (!compatibleIds.empty()) p[SPDRP_COMPATIBLEIDS] = DeviceProperty::MultiString(compatibleIds);
  p[SPDRP_MFG] = DeviceProperty::String("Realtek");
  p[SPDRP_INSTALL_STATE] = DeviceProperty::Dword(driverKey ? 0 : 28);
  if (driverKey) p[SPDRP_DRIVER] = DeviceProperty::String(*driverKey);
  p[SPDRP_CLASS] = DeviceProperty::String("Net");
  p[SPDRP_ENUMERATOR_NAME] = DeviceProperty::String("PCI");
  p[SPDRP_CLASSGUID] = DeviceProperty::String(kNet);
  return d;
}

void SetClassKey(MemoryRegistry& registry, const std::string& path,
                 std::vector<std::pair<std::string, RegValue>> values) {
  const std::string key = Registry::NormalizeKeyPath(path);
  registry.CreateKey(key);
  for (const auto& [name, value] : values) registry.SetValue(key, name, value);
}

std::optional<std::string> HardwareList(FakeDeviceSource& source) {
  HwListState state{source, nullptr};
  return BuildHardwareList(state);
}

TEST(HardwareList, WritesEveryDeviceWithItsSectionsAndClassKey) {
  FakeDeviceSource source;
  const std::string key1 = std::string(kNet) + "\\0001";
  const std::string key2 = std::string(kNet) + "\\0002";
  source.Devices = {
      Device(" PCI Fast Ethernet Adapter", {"PCI\\VEN_10EC&DEV_8139&SUBSYS_813910EC&REV_10"},
             {"PCI\\VEN_10EC&DEV_8139&REV_10"}, key1),
      // No description, no compatible IDs, a class key only under the old Services path
      // holding none of the values.
      Device(std::nullopt, {"PCI\\VEN_10EC&DEV_8139&SUBSYS_813910EC&REV_10"}, {}, key2),
      // No driver: no class key sections, even though the class folder itself exists.
      Device("Unknown device", {"ACPI\\PNP0C14"}, {}, std::nullopt),
  };
  SetClassKey(source.Registry, kControlClassPath + key1,
              {{"MatchingDeviceId", RegValue::MakeString("pci\\ven_10ec&dev_8139")},
               {"DriverDate", RegValue::MakeString("7-1-2001")},
               {"DriverVersion", RegValue::MakeString("5.1.0.0")}});
  SetClassKey(source.Registry, kServicesClassPath + key2, {});
  SetClassKey(source.Registry, kControlClassPath, {{"DriverVersion", RegValue::MakeString("9")}});

  const std::string entry1 =
      " PCI Fast Ethernet Adapter\r\n"
      "\tHardwareID\r\n\t\tPCI\\VEN_10EC&DEV_8139&SUBSYS_813910EC&REV_10\r\n"
      "\tCompatible HWID\r\n\t\tPCI\\VEN_10EC&DEV_8139&REV_10\r\n"
      "\tManufacturers\r\n\t\tRealtek\r\n"
      "\tInstallState\r\n"
      "\tDriver GUID\r\n\t\t{4D36E972-E325-11CE-BFC1-08002BE10318}\\0001\r\n"
      "\tDevice Class\r\n\t\tNet\r\n"
      "\tConnection bus\r\n\t\tPCI\r\n"
      "\tClass GUID\r\n\t\t{4D36E972-E325-11CE-BFC1-08002BE10318}\r\n"
      "\tMatching HWID\r\n\t\tPCI\\VEN_10EC&DEV_8139\r\n"
      "\tDriver date\r\n\t\t7-1-2001\r\n"
      "\tDriver Version\r\n\t\t5.1.0.0\r\n";
  const std::string entry2 =
      "\tHardwareID\r\n\t\tPCI\\VEN_10EC&DEV_8139&SUBSYS_813910EC&REV_10\r\n"
      "\tCompatible HWID\r\n"
      "\tManufacturers\r\n\t\tRealtek\r\n"
      "\tInstallState\r\n"
      "\tDriver GUID\r\n\t\t{4D36E972-E325-11CE-BFC1-08002BE10318}\\0002\r\n"
      "\tDevice Class\r\n\t\tNet\r\n"
      "\tConnection bus\r\n\t\tPCI\r\n"
      "\tClass GUID\r\n\t\t{4D36E972-E325-11CE-BFC1-08002BE10318}\r\n"
      "\tMatching HWID\r\n"
      "\tDriver date\r\n"
      "\tDriver Version\r\n\t\t0.0.0.0\r\n";
  const std::string entry3 =
      "Unknown device\r\n"
      "\tHardwareID\r\n\t\tACPI\\PNP0C14\r\n"
      "\tCompatible HWID\r\n"
      "\tManufacturers\r\n\t\tRealtek\r\n"
      "\tInstallState\r\n\t\t28\r\n"
      "\tDriver GUID\r\n"
      "\tDevice Class\r\n\t\tNet\r\n"
      "\tConnection bus\r\n\t\tPCI\r\n"
      "\tClass GUID\r\n\t\t{4D36E972-E325-11CE-BFC1-08002BE10318}\r\n";
  EXPECT_EQ(HardwareList(source), entry1 + entry2 + entry3);
  EXPECT_EQ(source.OpenSets(), 0u);
}

TEST(HardwareList, ClassKeyIsReadFromTheControlPathBeforeTheServicesPath) {
  FakeDeviceSource source;
  const std::string key = std::string(kNet) + "\\0000";
  source.Devices = {Device("Nic", {"PCI\\X"}, {}, key)};
  SetClassKey(source.Registry, kServicesClassPath + key,
              {{"DriverVersion", RegValue::MakeString("1.0.0.0")}});
  auto text = HardwareList(source);
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("\tDriver Version\r\n\t\t1.0.0.0\r\n"), std::string::npos);
  SetClassKey(source.Registry, kControlClassPath + key,
              {{"DriverVersion", RegValue::MakeString("2.0.0.0")}});
  text = HardwareList(source);
  EXPECT_NE(text->find("\tDriver Version\r\n\t\t2.0.0.0\r\n"), std::string::npos);
}

TEST(HardwareList, ValueOfAnotherTypeEndsTheCallAndReleasesTheSet) {
  FakeDeviceSource source;
  const std::string key = std::string(kNet) + "\\0000";
  source.Devices = {Device("Nic", {"PCI\\X"}, {}, key)};
  SetClassKey(source.Registry, kControlClassPath + key, {{"DriverDate", RegValue::MakeDword(7)}});
  EXPECT_THROW(HardwareList(source), RegistryError);
  EXPECT_EQ(source.OpenSets(), 0u);
}

TEST(HardwareList, EmptyMachineAndEnumerationThatCannotStart) {
  FakeDeviceSource source;
  HwListState state{source, nullptr};
  EXPECT_EQ(BuildHardwareList(state), std::string());
  EXPECT_EQ(BuildIdList(state, SPDRP_HARDWAREID), std::string());
  source.CannotStart = true;
  EXPECT_EQ(BuildHardwareList(state), std::nullopt);
  EXPECT_EQ(BuildIdList(state, SPDRP_COMPATIBLEIDS), std::nullopt);
}

TEST(IdList, OneLinePerIdInEnumerationOrderDuplicatesKept) {
  FakeDeviceSource source;
  source.Devices = {Device("A", {"ID1", "ID2", "ID3"}, {"C1"}, std::nullopt),
                    Device("B", {"ID4", "ID1"}, {}, std::nullopt)};
  HwListState state{source, nullptr};
  EXPECT_EQ(BuildIdList(state, SPDRP_HARDWAREID), "ID1\r\nID2\r\nID3\r\nID4\r\nID1\r\n");
  EXPECT_EQ(BuildIdList(state, SPDRP_COMPATIBLEIDS), "C1\r\n");
}

}  // namespace
}  // namespace cv2::hwsense
