#pragma once
// The machine identity of the client, gathered once during start-up: the SMBIOS record FSMBIOS,
// the platform code and the OEM brand setting.
#include <optional>

#include "client_state.h"
#include "identity_sources.h"
#include "registry_memory.h"
#include "services.h"

namespace cv2 {

// The key in which the system keeps its OEM information for the update service.
inline constexpr const char* kOemInfoKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate\\OemInfo";

class SystemIdentity : public IdentityService {
 public:
  SystemIdentity(ClientState& state, IdentitySources& sources)
      : m_state(state), m_sources(sources) {}

  // Fills FSMBIOS: the eight strings trimmed, IsBranded when the enclosure names a maker or a
  // version. Without SMBIOS every field stays empty; nothing is logged.
  void ReadSystemIdentity() override;
  // Sets the platform code from the platform table and logs "platform: N; MajorVer: M".
  void DetectPlatform() override;
  // Fills "BrandNameTXT", when it is empty, with the lower-cased "AcpiOem" of the OEM key.
  void FillOemBrand() override;

  // The platform table; nullopt for a combination it does not list (the code then keeps its
  // value).
  static std::optional<int32_t> PlatformCodeFor(const PlatformVersion& version);

 private:
  ClientState& m_state;
  IdentitySources& m_sources;
};

// The content of the read-only OEM information key: "AcpiOem" holding the ACPI OEM ID, or no key
// at all when there is none.
MemoryRegistry OemInfoContent(IdentitySources& sources);

}  // namespace cv2
