#include "identity_sources.h"

#include <sys/utsname.h>

#include <algorithm>
#include <fstream>

#include "paths.h"
#include "smbios_reader.h"
#include "text_util.h"

namespace cv2 {

namespace {

// Reads at most the first bytes of a file; false when it cannot be opened.
bool ReadFilePrefix(const std::string& path, size_t limit, std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  content.assign(limit, '\0');
  in.read(content.data(), static_cast<std::streamsize>(limit));
  content.resize(static_cast<size_t>(in.gcount()));
  return !in.bad();
}

// An ACPI table header: signature (4), length (4), revision, checksum, OEM ID (6), ...
constexpr size_t kOemIdOffset = 10;
constexpr size_t kOemIdLength = 6;

}  // namespace

std::string LinuxIdentitySources::Path(const std::string& relative) const {
  return JoinPath(m_root, relative);
}

SmbiosIdentity LinuxIdentitySources::Smbios() {
  std::string entryPoint, table;
  if (ReadWholeFile(Path("sys/firmware/dmi/tables/smbios_entry_point"), entryPoint) &&
      ReadWholeFile(Path("sys/firmware/dmi/tables/DMI"), table)) {
    if (auto id = ParseSmbios(entryPoint, table)) return *id;
  }
  // The kernel's copies of the same strings; a file is absent when its string is.
  const auto read = [this](const char* name) {
    std::string text;
    if (!ReadWholeFile(Path(std::string("sys/class/dmi/id/") + name), text)) return std::string();
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  };
  SmbiosIdentity id;
  id.SystemManufacturer = read("sys_vendor");
  id.SystemModel = read("product_name");
  id.SystemVersion = read("product_version");
  id.MainBoardManufacturer = read("board_vendor");
  id.MainBoardModel = read("board_name");
  id.ChassisManufacturer = read("chassis_vendor");
  id.ChassisVersion = read("chassis_version");
  return id;
}

PlatformVersion KernelVersion(const std::string& release) {
  PlatformVersion v;
  v.PlatformId = kLinuxPlatformId;
  size_t pos = 0;
  const auto number = [&](uint32_t& out) {
    uint64_t value = 0;
    bool any = false;
    while (pos < release.size() && release[pos] >= '0' && release[pos] <= '9') {
      if (value < 0xFFFFFFFF) value = value * 10 + static_cast<uint64_t>(release[pos] - '0');
      any = true;
      ++pos;
    }
    out = any ? static_cast<uint32_t>(std::min<uint64_t>(value, 0xFFFFFFFF)) : 0;
    return any;
  };
  if (number(v.Major) && pos < release.size() && release[pos] == '.') {
    ++pos;
    number(v.Minor);
  }
  return v;
}

PlatformVersion LinuxIdentitySources::Platform() {
  utsname names{};
  if (uname(&names) != 0) return PlatformVersion{kLinuxPlatformId, 0, 0};
  return KernelVersion(names.release);
}

std::string LinuxIdentitySources::AcpiOemId() {
  for (const char* signature : {"FACP", "DSDT"}) {
    std::string header;
    if (!ReadFilePrefix(Path(std::string("sys/firmware/acpi/tables/") + signature),
                        kOemIdOffset + kOemIdLength, header))
      continue;
    if (header.size() < kOemIdOffset + kOemIdLength || !header.starts_with(signature)) continue;
    // The OEM ID is padded with blanks or NULs.
    std::string oem = Trim(header.substr(kOemIdOffset, kOemIdLength));
    if (!oem.empty()) return oem;
  }
  return {};
}

}  // namespace cv2
