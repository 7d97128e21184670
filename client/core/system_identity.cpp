#include "system_identity.h"

#include "settings.h"
#include "settings_table.h"
#include "text_util.h"

namespace cv2 {

void SystemIdentity::ReadSystemIdentity() {
  SmbiosIdentity id = m_sources.Smbios();
  for (std::string* field :
       {&id.MainBoardModel, &id.MainBoardManufacturer, &id.SMBIOSVersion, &id.ChassisManufacturer,
        &id.ChassisVersion, &id.SystemModel, &id.SystemManufacturer, &id.SystemVersion})
    *field = Trim(*field);
  id.IsBranded = !id.ChassisManufacturer.empty() || !id.ChassisVersion.empty();
  m_state.FSMBIOS = std::move(id);
}

std::optional<int32_t> SystemIdentity::PlatformCodeFor(const PlatformVersion& v) {
  switch (v.PlatformId) {
    case 0:  // Win32s
      return -1;
    case 1:  // the Windows 95, 98 and Me family
      if (v.Major != 4) return std::nullopt;
      if (v.Minor <= 9) return 0;
      if (v.Minor <= 89) return 1;
      if (v.Minor <= 255) return 2;
      return std::nullopt;
    case 2:  // the NT family
      if (v.Major == 4) return 4;
      if (v.Major == 5) return v.Minor == 0 ? 8 : 16;
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

void SystemIdentity::DetectPlatform() {
  const PlatformVersion version = m_sources.Platform();
  if (auto code = PlatformCodeFor(version)) m_state.PlatformCode = *code;
  m_state.AppendLog("platform: " + std::to_string(version.PlatformId) +
                    "; MajorVer: " + std::to_string(version.Major));
}

void SystemIdentity::FillOemBrand() {
  if (!ReadSettingString(m_state.Store(), "BrandNameTXT").empty()) return;
  std::string oem;
  {
    Registry reg(m_state.Store());
    // A value of another type than text raises to the caller.
    if (reg.OpenKeyReadOnly(kOemInfoKey)) oem = reg.ReadString("AcpiOem");
  }
  if (oem.empty()) return;
  Registry reg(m_state.Store());
  try {
    if (reg.OpenKey(kSettingsKey, true)) reg.WriteString("BrandNameTXT", AsciiLower(oem));
  } catch (const RegistryError&) {
    // A store that cannot be written (no write rights): the brand stays unset, silently.
  }
}

MemoryRegistry OemInfoContent(IdentitySources& sources) {
  MemoryRegistry content;
  const std::string oem = sources.AcpiOemId();
  if (oem.empty()) return content;
  content.CreateKey(kOemInfoKey);
  content.SetValue(kOemInfoKey, "AcpiOem", RegValue::MakeString(oem));
  return content;
}

}  // namespace cv2
