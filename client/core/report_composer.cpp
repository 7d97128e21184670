#include "report_composer.h"

#include "paths.h"
#include "settings.h"
#include "settings_table.h"
#include "text_util.h"

namespace cv2 {

namespace {

const char* const kLineEnd = "\r\n";

// The values of a node's section: the children of its first child with exactly that text.
const std::vector<TreeNode>* Section(const TreeNode& node, std::string_view label) {
  const TreeNode* section = node.FindChild(label);
  return section ? &section->Children : nullptr;
}

std::string First(const std::vector<TreeNode>& values) {
  return values.empty() ? std::string() : values.front().Text;
}

std::string Joined(const std::vector<TreeNode>& values) {
  std::string out;
  for (size_t i = 0; i < values.size(); ++i) {
    if (i) out += kLineEnd;
    out += values[i].Text;
  }
  return out;
}

}  // namespace

std::string ReportComposer::BuildIdentityRecord() {
  const SmbiosIdentity& id = m_state.FSMBIOS;
  m_encoder.ClearRecord();
  m_encoder.DeviceName = id.SystemModel;
  m_encoder.MFG = id.MainBoardManufacturer;
  // Every value keeps its place, empty or not: always seven CR LF pairs.
  m_encoder.HWID = id.SystemManufacturer + kLineEnd + id.SystemModel + kLineEnd + id.SystemVersion +
                   kLineEnd + id.ChassisManufacturer + kLineEnd + id.ChassisVersion + kLineEnd +
                   id.MainBoardManufacturer + kLineEnd + id.MainBoardModel + kLineEnd +
                   id.SMBIOSVersion;
  m_encoder.GUID = kSystemBoardClassGuid;
  m_encoder.OSVersion = std::to_string(m_state.PlatformCode);
  return m_encoder.Transmition();
}

std::string ReportComposer::BuildDeviceRecord(const Tree& tree, int index) {
  if (index < 1 || static_cast<size_t>(index) > tree.Roots.size()) return {};
  const TreeNode& node = tree.Roots[static_cast<size_t>(index) - 1];

  TTransRecord& r = m_encoder;
  r.ClearRecord();
  r.DeviceName = node.Text;
  r.OSVersion = std::to_string(m_state.PlatformCode);
  if (auto values = Section(node, "HardwareID")) r.HWID = Joined(*values);
  if (auto values = Section(node, "Manufacturers")) r.MFG = First(*values);
  if (auto values = Section(node, "Class GUID")) r.GUID = First(*values);
  // A node with a user name for its mapping is a mapping entry (only Software.dat has them).
  const auto* mapUser = Section(node, "MapUsername");
  if (mapUser) r.UserName = First(*mapUser);
  if (auto values = Section(node, "MapPassword")) r.UserPass = First(*values);
  if (mapUser) {
    if (auto values = Section(node, "MapVersion")) r.Version = Joined(*values);
    if (auto values = Section(node, "MapLocation")) r.Location = Joined(*values);
    m_state.AppendLog(">>>>> Username: " + r.UserName);
    m_state.AppendLog(">>>>> Version: " + r.Version);
    m_state.AppendLog(">>>>> Location: " + r.Location);
  } else {
    if (auto values = Section(node, "MapLocation")) r.Location = Joined(*values);
    // Not a mapping entry: the installed version is the driver's, or none.
    if (auto values = Section(node, "Driver Version")) r.Version = First(*values);
  }
  if (auto values = Section(node, "Driver date")) r.DriverDate = First(*values);
  if (auto values = Section(node, "Connection bus")) r.BusType = First(*values);
  return r.Transmition();
}

void ReportComposer::ReadSoftwareList() {
  std::string content;
  if (!ReadWholeFile(JoinPath(m_dataRoot, kSoftwareListFile), content)) {
    // Not opened: the tree keeps the previous composition's items.
    m_state.AppendLog("Error during software updates stream");
    return;
  }
  m_state.SoftwareTree.Clear();
  try {
    ReadTreeText(content, m_state.SoftwareTree);
  } catch (const Error&) {
    // The items read before the faulty line stay.
    m_state.AppendLog("Error during software updates stream");
  }
}

void ReportComposer::ComposeReport() {
  ClientState& s = m_state;
  const SmbiosIdentity& id = s.FSMBIOS;
  std::vector<std::string>& report = s.HardwareReport;
  report.clear();

  // Each keyword line carries its value as read; only the test for presence trims.
  const std::string alias = ReadSettingString(s.Store(), "CompanyAlianceTXT");
  if (!Trim(alias).empty()) {
    report.push_back("alias " + alias);
    s.AppendLog("Detected: alias " + alias);
  } else {
    s.AppendLog("No Alias detected");
  }
  const auto keyword = [&](const char* word, const std::string& value, const char* missing) {
    if (!Trim(value).empty()) {
      report.push_back(std::string(word) + " " + value);
      s.AppendLog(std::string("Detected: ") + word + " " + value);
    } else {
      s.AppendLog(missing);
    }
  };
  keyword("brand_name", id.SystemManufacturer, "No Brand name detected");
  keyword("brand_model", id.SystemModel, "No Brand model detected");
  if (id.IsBranded) {
    report.push_back("branded");
    s.AppendLog("Detected: branded");
  }
  keyword("mb_model", id.MainBoardModel, "No motherboard model detected");
  keyword("mb_mfg", id.MainBoardManufacturer, "No motherboard manufacturer detected");

  report.push_back(BuildIdentityRecord());
  for (int i = 1; i <= s.DeviceCount; ++i) report.push_back(BuildDeviceRecord(s.DeviceTree, i));
  s.AppendLog("All devices were successfully detected");
  s.AppendLog("Sending software");

  ReadSoftwareList();
  const int softwareCount = static_cast<int>(s.SoftwareTree.Roots.size());
  for (int i = 1; i <= softwareCount; ++i) report.push_back(BuildDeviceRecord(s.SoftwareTree, i));

  {
    Registry reg(s.Store());
    if (reg.OpenKey(kSettingsKey, /*canCreate=*/false))
      reg.WriteString("last run date", s.ClockPort().ShortDate());
  }
  s.Status().SetCaption(Caption::DateLBL, ReadSettingString(s.Store(), "last run date"));
}

}  // namespace cv2
