#pragma once
// Where the machine identity comes from: the SMBIOS strings and version, the operating system's
// version numbers and the OEM identifier of the ACPI tables. The Linux sources read files below a
// root folder that tests point at fixtures.
#include <cstdint>
#include <string>

#include "client_state.h"

namespace cv2 {

// The operating system's version information as the platform table reads it.
struct PlatformVersion {
  int32_t PlatformId = 0;
  uint32_t Major = 0;
  uint32_t Minor = 0;
};

class IdentitySources {
 public:
  virtual ~IdentitySources() = default;
  // The SMBIOS strings as stored (untrimmed) and the version; all empty without SMBIOS.
  virtual SmbiosIdentity Smbios() = 0;
  virtual PlatformVersion Platform() = 0;
  // The OEM identifier of the ACPI table headers, without its padding; empty when unreadable.
  virtual std::string AcpiOemId() = 0;
};

// The platform identifier of Linux: not one of the Windows families of the platform table.
inline constexpr int32_t kLinuxPlatformId = 3;

// The sysfs readers:
//  - SMBIOS from the raw tables (sys/firmware/dmi/tables/smbios_entry_point and DMI, readable by
//    root only) when they can be read and parsed, else from the world-readable files of
//    sys/class/dmi/id (which give no version), else nothing;
//  - the kernel's major and minor version from uname, with the platform identifier 3;
//  - the OEM ID of the FACP header, else of the DSDT header, under sys/firmware/acpi/tables.
class LinuxIdentitySources : public IdentitySources {
 public:
  explicit LinuxIdentitySources(std::string root = "/") : m_root(std::move(root)) {}
  SmbiosIdentity Smbios() override;
  PlatformVersion Platform() override;
  std::string AcpiOemId() override;

 private:
  std::string Path(const std::string& relative) const;
  std::string m_root;
};

// The major and minor number at the start of a kernel release ("6.18.44-fc-v1607" gives 6 and
// 18); a part that is not there is 0.
PlatformVersion KernelVersion(const std::string& release);

}  // namespace cv2
