#include "settings_table.h"

#include "text_util.h"

namespace cv2 {

namespace {
using VT = ValueType;
using CK = ControlKind;

constexpr const char* kGeneric = "Generic configuration";
constexpr const char* kConnection = "Connection";
constexpr const char* kAdvanced = "Advanced";

SettingInfo Check(const char* name, const char* section, const char* caption, bool checked) {
  return {name, VT::Dword, CK::CheckBox, kGeneric, section, caption, checked ? 1 : 0, "", {}};
}

SettingInfo Text(const char* page, const char* name, const char* section, const char* caption,
                 const char* def) {
  return {name, VT::String, CK::EditField, page, section, caption, 0, def, {}};
}

SettingInfo Combo(const char* page, const char* name, const char* section, const char* caption,
                  std::vector<const char*> items) {
  return {name, VT::Dword, CK::ComboBox, page, section, caption, -1, "", std::move(items)};
}

std::vector<SettingInfo> BuildTable() {
  std::vector<SettingInfo> t;
  const char* confirmations = "Confirmations";
  t.push_back(Check("ConfirmDownloadCHK", confirmations, "Ask before downloading new updates", true));
  t.push_back(Check("SynchronizeConfirmCHK", confirmations, "Ask before starting synchronization", false));
  t.push_back(Check("InstallUpdatesConfirmCHK", confirmations, "Ask before installing new updates", false));
  t.push_back(Check("InstallINFConfirmCHK", confirmations, "Ask before installing inf based updates", false));
  t.push_back(Check("InstallBIOSConfirmCHK", confirmations, "Ask before updating BIOS binary", false));
  t.push_back(Check("ShowContentConfirmCHK", confirmations, "Ask before receiving content messages", false));
  t.push_back(Check("ShowFriendlyMessagesCHK", confirmations, "Do not show update status messages", false));
  t.push_back(Combo(kGeneric, "RunFrequencyCOMBO", confirmations, "Check updates every:",
                    {"6 hours", "1 day", "3 days", "1 week", "3 weeks", "never"}));

  const char* visual = "Visual settings";
  t.push_back(Combo(kGeneric, "LanguageCOMBO", visual, "Interface language:", {"English"}));
  t.back().Disabled = true;
  t.push_back(Combo(kGeneric, "SkinCOMBO", visual, "Skin:", {"Corvantis 2"}));
  t.back().Disabled = true;
  t.push_back(Combo(kGeneric, "CharsetCOMBO", visual, "Charset:", {"CHINESEBIG5_CHARSET"}));
  t.back().Disabled = true;
  t.push_back(Check("ShowLogoCHK", visual, "Show logo on startup", false));
  t.push_back(Check("AlphaBlendingCHK", visual, "Use Alpha blending (For Windows 2000/XP only)", false));
  t.push_back({"ScrollSpeedTRACK", VT::Dword, CK::TrackBar, kGeneric, visual, "Text scroll delay:",
               20, "", {}, 10, 100});

  const char* filtering = "Update filtering";
  t.push_back({"DownloadRateTRACK", VT::Dword, CK::TrackBar, kGeneric, filtering,
               "Download updates that are rated at least:", 0, "", {}, 0, 10});
  t.push_back(Text(kGeneric, "LocaleSettingsTXT", filtering, "Language settings:", "not_specified"));
  t.push_back(Check("BetaTesterCHK", filtering, "I want to be a beta tester (Advanced users only)", false));

  const char* lookup = "Connection lookup";
  t.push_back(Combo(kConnection, "ConnectionTypeCOMBO", lookup, "Internet connection:",
                    {"Automatic", "DialUp", "Permanent"}));
  t.push_back(Combo(kConnection, "ProxyCOMBO", lookup, "Use proxy server:",
                    {"No Proxy", "Socks 4", "Socks 4A", "Socks 5"}));
  t.push_back(Text(kConnection, "ProxyAddressTXT", lookup, "Proxy:", ""));
  t.push_back(Text(kConnection, "ProxyPortTXT", lookup, "Port:", "080"));
  t.push_back(Text(kConnection, "ProxyTimeOutTXT", lookup, "Timeout:", "100"));
  t.push_back(Text(kConnection, "ProxyUserTXT", lookup, "Username:", ""));
  t.push_back(Text(kConnection, "ProxyPassTXT", lookup, "Password:", ""));
  t.back().Masked = t.back().Secret = true;

  const char* server = "Server settings:";
  t.push_back(Text(kConnection, "HostTXT", server, "Server:", kDefaultServerAddress));
  t.push_back(Text(kConnection, "PortTXT", server, "Port:", "80"));
  t.push_back(Text(kConnection, "UserTXT", server, "Username:", "anonymous"));
  t.back().Disabled = true;
  t.push_back(Text(kConnection, "PassTXT", server, "Password:", ""));
  t.back().Disabled = t.back().Masked = t.back().Secret = true;
  t.push_back(Combo(kConnection, "EncryptionCOMBO", server, "Connection type:",
                    {"Unsecured", "Simple encryption", "SSL"}));
  t.back().Disabled = true;

  t.push_back(Text(kAdvanced, "CompanyAlianceTXT", "Aliances", "Company aliance:", ""));
  const char* maker = "Computer manufacturer";
  const std::pair<const char*, const char*> identity[] = {
      {"BrandNameTXT", "Brand name:"},           {"mb_mfgTXT", "Motherboard mfg:"},
      {"mb_modelTXT", "Motherboard model:"},     {"mb_verTXT", "Motherboard version:"},
      {"chassis_mfgTXT", "Chassis mfg:"},        {"chassis_verTXT", "Chassis version:"},
      {"system_modelTXT", "System model:"},      {"system_verTXT", "System version:"},
      {"system_mfgTXT", "System mfg:"}};
  for (const auto& [name, caption] : identity) {
    t.push_back(Text(kAdvanced, name, maker, caption, ""));
    t.back().ReadOnly = true;
  }
  t.push_back(Text(kAdvanced, "User_licenceTXT", "Personal licence number", "Assigned licence:", ""));
  t.back().ReadOnly = true;

  // Values without a control.
  t.push_back({"User_passwordTXT", VT::String, CK::None, "", "", "", 0, "", {}});
  t.back().Secret = true;
  t.push_back({"SupportRequestPending", VT::Dword, CK::None, "", "", "", 0, "", {}});
  t.push_back({"last run date", VT::String, CK::None, "", "", "", 0, "", {}});
  return t;
}

const std::vector<SettingInfo>& Table() {
  static const std::vector<SettingInfo> table = BuildTable();
  return table;
}
}  // namespace

std::span<const SettingInfo> SettingsTable() { return Table(); }

std::span<const SettingInfo> WindowSettings() {
  return std::span<const SettingInfo>(Table()).first(Table().size() - 3);
}

const SettingInfo* FindSetting(std::string_view name) {
  for (const auto& info : Table())
    if (IEquals(info.Name, name)) return &info;
  return nullptr;
}

bool SettingTypeOf(std::string_view name, ValueType& type) {
  if (const SettingInfo* info = FindSetting(name)) {
    type = info->Type;
    return true;
  }
  auto endsWith = [&](std::string_view suffix) {
    return name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
  };
  if (endsWith("CHK") || endsWith("COMBO") || endsWith("TRACK")) {
    type = ValueType::Dword;
    return true;
  }
  if (endsWith("TXT")) {
    type = ValueType::String;
    return true;
  }
  return false;
}

RegValue DefaultValue(const SettingInfo& info) {
  if (info.Type == ValueType::Dword)
    return RegValue::MakeDword(static_cast<uint32_t>(info.DefaultNumber));
  return RegValue::MakeString(info.DefaultText);
}

}  // namespace cv2
