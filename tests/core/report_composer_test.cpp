#include "report_composer.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "fake_ui.h"
#include "hardware_inventory.h"
#include "paths.h"
#include "registry_memory.h"
#include "settings_table.h"

namespace cv2 {
namespace {

namespace fs = std::filesystem;
const std::string kData = CV2_TEST_DATA;
const std::string CRLF = "\r\n";

// The identity record of a machine without SMBIOS: HWID is seven CR LF pairs (written as CR CR).
const std::string kEmptyIdentityRecord =
    "004F0001"
    "001409" +
    std::string(14, '\r') +
    "002C0A{8783F000-B07F-47BA-BB7C-2D585B5A4147}"
    "0007180";

// The tags of a record text in their order.
std::string Tags(const std::string& record) {
  std::string tags;
  for (size_t pos = 8; pos + 6 <= record.size();
       pos += std::stoul(record.substr(pos, 4), nullptr, 16))
    tags += record.substr(pos + 4, 2) + " ";
  return tags;
}

class Report : public ::testing::Test {
 protected:
  Report() : state(store, ui, clock), composer(state, home.path().toStdString()) {
    store.CreateKey(kSettingsKey);
  }
  void SetSetting(const std::string& name, const std::string& value) {
    store.SetValue(kSettingsKey, name, RegValue::MakeString(value));
  }
  void WriteSoftware(const std::string& content) {
    std::ofstream(fs::path(home.path().toStdString()) / "Software.dat", std::ios::binary)
        << content;
  }
  void LoadDevices(const std::string& text) {
    state.DeviceTree.Clear();
    ReadTreeText(text, state.DeviceTree);
    HardwareInventory::Prune(state.DeviceTree);
    state.DeviceCount = static_cast<int32_t>(state.DeviceTree.Roots.size());
  }
  // The log lines from the first line that starts with a prefix on.
  std::vector<std::string> LogFrom(const std::string& prefix) {
    const auto& lines = state.Log().Lines();
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i].starts_with(prefix)) return {lines.begin() + static_cast<long>(i), lines.end()};
    return {};
  }

  QTemporaryDir home;
  MemoryRegistry store;
  test::FakeUserInterface ui;
  FixedClock clock{"20/5/2003"};
  ClientState state;
  ReportComposer composer;
};

TEST_F(Report, MachineWithoutSmbiosOrDevices) {
  composer.ComposeReport();
  EXPECT_EQ(state.HardwareReport, std::vector<std::string>{kEmptyIdentityRecord});
  EXPECT_EQ(state.Log().Lines(),
            (std::vector<std::string>{"No Alias detected", "No Brand name detected",
                                      "No Brand model detected", "No motherboard model detected",
                                      "No motherboard manufacturer detected",
                                      "All devices were successfully detected", "Sending software",
                                      "Error during software updates stream"}));
  TTransRecord back;
  back.SetTransmition(kEmptyIdentityRecord);
  std::string pairs;
  for (int i = 0; i < 7; ++i) pairs += CRLF;
  EXPECT_EQ(back.HWID, pairs);
  EXPECT_EQ(back.DeviceName, "");
  EXPECT_EQ(back.MFG, "");
  // The date of the composition is stored and shown.
  EXPECT_EQ(store.GetValue(kSettingsKey, "last run date")->Str, "20/5/2003");
  EXPECT_EQ(state.Status().GetCaption(Caption::DateLBL), "20/5/2003");
}

struct FieldsCase {
  std::string DeviceName, HWID, MFG, GUID, Version, DriverDate, BusType, UserName, UserPass,
      Location;
};

TEST_F(Report, FullReportOfTheFixtures) {
  SetSetting("CompanyAlianceTXT", " Acme Partners");  // a leading blank stays: two blanks
  state.FSMBIOS = {"TB5000-MB",           "Acme Boards Inc.", "2.3",
                   "Acme Computers Ltd.", "Chassis v2",       "Tower 5000",
                   "Acme Computers Ltd.", "Rev 1.0",          true};
  state.PlatformCode = 16;
  std::string hwlist;
  ASSERT_TRUE(ReadWholeFile(kData + "/report/hwlist.txt", hwlist));
  LoadDevices(hwlist);
  fs::copy_file(kData + "/report/Software.dat",
                fs::path(home.path().toStdString()) / "Software.dat");
  composer.ComposeReport();

  const auto& report = state.HardwareReport;
  ASSERT_EQ(report.size(), 6u + 1u + 6u + 2u);
  EXPECT_EQ(std::vector<std::string>(report.begin(), report.begin() + 6),
            (std::vector<std::string>{"alias  Acme Partners", "brand_name Acme Computers Ltd.",
                                      "brand_model Tower 5000", "branded", "mb_model TB5000-MB",
                                      "mb_mfg Acme Boards Inc."}));
  for (const auto& line : report) EXPECT_EQ(line.find('\n'), std::string::npos);

  TTransRecord identity;
  identity.SetTransmition(report[6]);
  EXPECT_FALSE(identity.Error());
  EXPECT_EQ(identity.DeviceName, "Tower 5000");
  EXPECT_EQ(identity.MFG, "Acme Boards Inc.");
  EXPECT_EQ(identity.HWID,
            "Acme Computers Ltd.\r\nTower 5000\r\nRev 1.0\r\nAcme Computers Ltd."
            "\r\nChassis v2\r\nAcme Boards Inc.\r\nTB5000-MB\r\n2.3");
  EXPECT_EQ(identity.GUID, "{8783F000-B07F-47BA-BB7C-2D585B5A4147}");
  EXPECT_EQ(identity.OSVersion, "16");

  const std::string net = "{4D36E972-E325-11CE-BFC1-08002BE10318}";
  const std::string cpu = "{50127DC3-0F36-415E-A6CC-4CB3BE910B65}";
  const std::string cpuIds =
      "ACPI\\GenuineIntel_-_x86_Family_6_Model_142\r\n*GenuineIntel_-_x86_Family_6_Model_142\r\n"
      "ACPI\\GenuineIntel_-_x86_Family_6\r\n*GenuineIntel_-_x86_Family_6\r\n"
      "ACPI\\GenuineIntel_-_x86\r\n*GenuineIntel_-_x86";
  const FieldsCase expected[] = {
      {"3c905C-TX/TX-M [Tornado]",
       "PCI\\VEN_10B7&DEV_9200&SUBSYS_00BE1028&REV_78\r\nPCI\\VEN_10B7&DEV_9200&SUBSYS_00BE1028"
       "\r\nPCI\\VEN_10B7&DEV_9200&CC_020000\r\nPCI\\VEN_10B7&DEV_9200&CC_0200",
       "3Com Corporation", net, "6.18.44.1607", "6-21-2006", "PCI", "", "", ""},
      {"Virtio 1.0 network device",
       "PCI\\VEN_1AF4&DEV_1041&SUBSYS_10411AF4&REV_01\r\nPCI\\VEN_1AF4&DEV_1041&SUBSYS_10411AF4"
       "\r\nPCI\\VEN_1AF4&DEV_1041&CC_020000\r\nPCI\\VEN_1AF4&DEV_1041&CC_0200",
       "Red Hat, Inc.", net, "0.0.0.0", "", "PCI", "", "", ""},
      // No class key: no "Driver Version" section, so no version at all.
      {"USB Human Interface Device", "USB\\Vid_045e&Pid_0039&Rev_0121\r\nUSB\\Vid_045e&Pid_0039",
       "", "{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}", "", "", "USB", "", "", ""},
      {"Communications Port", "ACPI\\PNP0501\r\n*PNP0501", "(Standard port types)",
       "{4D36E978-E325-11CE-BFC1-08002BE10318}", "5.1.2600.0", "7-1-2001", "ACPI", "", "", ""},
      {"Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz", cpuIds, "Intel", cpu, "6.1.7600.16385",
       "4-21-2009", "ACPI", "", "", ""},
      {"Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz", cpuIds, "Intel", cpu, "6.1.7600.16385",
       "4-21-2009", "ACPI", "", "", ""},
      // The mapping entry: the version is the two mapping versions, not the driver's.
      {"Acme Scanner Utility", "SOFTWARE\\ACME\\SCANNER", "", "", "2.1.0\r\n2.1.1", "", "",
       "scanuser", "s3cret", "ftp://updates.example/acme/scanner/"},
      // A mapping version without a user name does not make a mapping entry.
      {"Acme Office Suite", "SOFTWARE\\ACME\\OFFICE", "", "", "4.2.0.1", "", "", "", "", ""},
  };
  for (size_t i = 0; i < std::size(expected); ++i) {
    const FieldsCase& e = expected[i];
    SCOPED_TRACE(e.DeviceName);
    TTransRecord r;
    r.SetTransmition(report[7 + i]);
    EXPECT_FALSE(r.Error());
    EXPECT_EQ(r.DeviceName, e.DeviceName);
    EXPECT_EQ(r.HWID, e.HWID);
    EXPECT_EQ(r.MFG, e.MFG);
    EXPECT_EQ(r.GUID, e.GUID);
    EXPECT_EQ(r.Version, e.Version);
    EXPECT_EQ(r.DriverDate, e.DriverDate);
    EXPECT_EQ(r.BusType, e.BusType);
    EXPECT_EQ(r.UserName, e.UserName);
    EXPECT_EQ(r.UserPass, e.UserPass);
    EXPECT_EQ(r.Location, e.Location);
    EXPECT_EQ(r.OSVersion, "16");
    // Every record line parses back to fields that write the same line.
    EXPECT_EQ(r.Transmition(), report[7 + i]);
  }
  // An empty field is not written: the USB device's record has no tag 06.
  EXPECT_EQ(Tags(report[9]), "00 09 0A 17 18 ");

  EXPECT_EQ(
      LogFrom("Detected: alias"),
      (std::vector<std::string>{
          "Detected: alias  Acme Partners", "Detected: brand_name Acme Computers Ltd.",
          "Detected: brand_model Tower 5000", "Detected: branded", "Detected: mb_model TB5000-MB",
          "Detected: mb_mfg Acme Boards Inc.", "All devices were successfully detected",
          "Sending software", ">>>>> Username: scanuser", ">>>>> Version: 2.1.0", "2.1.1",
          ">>>>> Location: ftp://updates.example/acme/scanner/"}));
}

TEST_F(Report, AliasOfBlanksOnly) {
  SetSetting("CompanyAlianceTXT", "   ");
  composer.ComposeReport();
  EXPECT_EQ(state.HardwareReport.size(), 1u);
  EXPECT_EQ(state.Log().Lines().front(), "No Alias detected");
}

TEST_F(Report, SoftwareListFaults) {
  // Missing: the log line, and the items of the previous composition stay.
  state.SoftwareTree.Roots = {TreeNode{"Previous", {}}};
  composer.ComposeReport();
  EXPECT_EQ(state.HardwareReport.size(), 2u);
  EXPECT_TRUE(state.Log().Contains("Error during software updates stream"));

  // A level error: the items read before the faulty line are reported.
  WriteSoftware("A" + CRLF + "\tB" + CRLF + "\t\t\tC" + CRLF);
  state.Log().Clear();
  composer.ComposeReport();
  ASSERT_EQ(state.HardwareReport.size(), 2u);
  TTransRecord r;
  r.SetTransmition(state.HardwareReport[1]);
  EXPECT_EQ(r.DeviceName, "A");
  EXPECT_TRUE(state.Log().Contains("Error during software updates stream"));

  // An empty file: no software record, no empty line, no error.
  WriteSoftware("");
  state.Log().Clear();
  composer.ComposeReport();
  EXPECT_EQ(state.HardwareReport.size(), 1u);
  EXPECT_FALSE(state.Log().Contains("Error during software updates stream"));
}

TEST_F(Report, DateNotStoredWithoutTheSettingsKey) {
  store.DeleteKey(kSettingsKey);
  composer.ComposeReport();
  EXPECT_FALSE(store.KeyExists(kSettingsKey));
  EXPECT_EQ(state.Status().GetCaption(Caption::DateLBL), "");
}

TEST_F(Report, DeviceRecordOfAMissingNodeIsEmpty) {
  Tree tree;
  EXPECT_EQ(composer.BuildDeviceRecord(tree, 1), "");
  ReadTreeText("abc\r\n", tree);
  state.PlatformCode = 16;
  EXPECT_EQ(composer.BuildDeviceRecord(tree, 1), "00190001000900abc00081816");
  EXPECT_EQ(composer.BuildDeviceRecord(tree, 2), "");
}

}  // namespace
}  // namespace cv2
