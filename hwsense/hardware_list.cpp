#include "hardware_list.h"

#include "text_util.h"
#include "tree_text.h"

namespace cv2::hwsense {

namespace {

// A property that keeps growing or keeps failing without an error is given up after this many
// attempts, and no property is larger than this: a broken source cannot hold the walk forever
// or make it allocate without bound.
constexpr int kMaxReadAttempts = 32;
constexpr uint32_t kMaxPropertySize = 16u << 20;

struct Section {
  uint32_t Property;
  const char* Label;
};

constexpr Section kSections[] = {
    {SPDRP_HARDWAREID, "HardwareID"},
    {SPDRP_COMPATIBLEIDS, "Compatible HWID"},
    {SPDRP_MFG, "Manufacturers"},
    {SPDRP_INSTALL_STATE, "InstallState"},
    {SPDRP_DRIVER, "Driver GUID"},
    {SPDRP_CLASS, "Device Class"},
    {SPDRP_ENUMERATOR_NAME, "Connection bus"},
    {SPDRP_CLASSGUID, "Class GUID"},
};

// Releases the device set when the walk ends, also when an error ends it, and keeps the last
// error with which the walk ended.
class DeviceSetGuard {
 public:
  DeviceSetGuard(DeviceSource& source, DeviceSetHandle set) : m_source(source), m_set(set) {}
  ~DeviceSetGuard() {
    const uint32_t saved = m_source.GetLastError();
    m_source.DestroyDeviceInfoList(m_set);
    m_source.SetLastError(saved);
  }
  DeviceSetGuard(const DeviceSetGuard&) = delete;
  DeviceSetGuard& operator=(const DeviceSetGuard&) = delete;

 private:
  DeviceSource& m_source;
  DeviceSetHandle m_set;
};

std::vector<std::string> SplitProperty(uint32_t type, const std::vector<uint8_t>& buffer,
                                       uint32_t reportedSize) {
  const size_t size = std::min<size_t>(reportedSize, buffer.size());
  std::vector<std::string> strings;
  if (type == REG_DWORD && size == 4) {
    const uint32_t value =
        buffer[0] | (buffer[1] << 8) | (buffer[2] << 16) | (static_cast<uint32_t>(buffer[3]) << 24);
    if (value != 0) strings.push_back(std::to_string(value));
    return strings;
  }
  size_t pos = 0;
  while (pos < size && buffer[pos] != 0) {
    size_t end = pos;
    while (end < size && buffer[end] != 0) ++end;
    strings.emplace_back(reinterpret_cast<const char*>(buffer.data() + pos), end - pos);
    pos = end + 1;
  }
  return strings;
}

std::vector<std::string> ReadOrEmpty(HwListState& state, DeviceSetHandle set,
                                     const DeviceInfoData& device, uint32_t property) {
  // A read that ends with no list is taken like a property the device does not have.
  auto strings = ReadDeviceProperty(state, set, device, property);
  return strings ? std::move(*strings) : std::vector<std::string>{};
}

}  // namespace

std::string PropertyFailureText(uint32_t error) {
  return "SetupDiGetDeviceRegistryProperty() failed: GetLastError returned " +
         std::to_string(error) + "\n";
}

std::optional<std::vector<std::string>> ReadDeviceProperty(HwListState& state, DeviceSetHandle set,
                                                           const DeviceInfoData& device,
                                                           uint32_t property) {
  DeviceSource& source = state.Source;
  uint32_t type = 0;
  uint32_t reported = 0;
  // Probe for the size, then read into a zero-filled buffer of that size.
  source.GetDeviceRegistryProperty(set, device, property, &type, nullptr, 0, &reported);
  if (reported > kMaxPropertySize) return std::nullopt;
  std::vector<uint8_t> buffer(reported, 0);
  for (int attempt = 0;; ++attempt) {
    if (attempt == kMaxReadAttempts) return std::nullopt;
    const uint32_t before = reported;
    if (source.GetDeviceRegistryProperty(set, device, property, &type, buffer.data(),
                                         static_cast<uint32_t>(buffer.size()), &reported))
      break;
    if (!buffer.empty() && reported == before) {
      // The size did not change: the buffer is final.
      source.SetLastError(ERROR_SUCCESS);
      break;
    }
    source.YieldProcessor();
    const uint32_t error = source.GetLastError();
    if (error == ERROR_SUCCESS) continue;
    if (error == ERROR_INVALID_DATA) {
      // The device has no such property.
      source.SetLastError(ERROR_SUCCESS);
      break;
    }
    if (error == ERROR_INSUFFICIENT_BUFFER) {
      // The property grew since the probe.
      if (reported > kMaxPropertySize) return std::nullopt;
      buffer.assign(reported, 0);
      continue;
    }
    return std::nullopt;
  }
  if (const uint32_t error = source.GetLastError(); error != ERROR_SUCCESS) {
    if (state.ShowError) state.ShowError(PropertyFailureText(error));
    if (error == ERROR_INVALID_DATA) return std::nullopt;
  }
  return SplitProperty(type, buffer, reported);
}

bool OpenClassKey(Registry& registry, const std::string& driverKey) {
  if (registry.OpenKey(kControlClassPath + driverKey, false)) return true;
  return registry.OpenKey(kServicesClassPath + driverKey, false);
}

std::optional<ClassKeyValues> LookupClassKey(RegistryBackend& machine,
                                             const std::string& driverKey) {
  Registry registry(machine);
  if (!OpenClassKey(registry, driverKey)) return std::nullopt;
  ClassKeyValues values;
  values.MatchingDeviceId = registry.ReadString("MatchingDeviceId");
  values.DriverDate = registry.ReadString("DriverDate");
  values.DriverVersion = registry.ReadString("DriverVersion");
  return values;
}

std::optional<std::string> BuildHardwareList(HwListState& state) {
  DeviceSource& source = state.Source;
  const DeviceSetHandle set = source.GetClassDevs(DIGCF_PRESENT | DIGCF_ALLCLASSES);
  if (set == kInvalidDeviceSet) return std::nullopt;
  std::string text;
  {
    DeviceSetGuard guard(source, set);
    DeviceInfoData device;
    device.CbSize = kDeviceInfoDataSize;
    for (uint32_t index = 0; source.EnumDeviceInfo(set, index, device); ++index) {
      for (const auto& line : ReadOrEmpty(state, set, device, SPDRP_DEVICEDESC))
        AppendTreeLine(text, 0, line);
      // The driver key belongs to this device alone.
      std::string driverKey;
      for (const auto& section : kSections) {
        AppendTreeLine(text, 1, section.Label);
        auto strings = ReadOrEmpty(state, set, device, section.Property);
        if (section.Property == SPDRP_DRIVER && !strings.empty()) driverKey = strings.front();
        for (const auto& line : strings) AppendTreeLine(text, 2, line);
      }
      // A device without a driver has no class key of its own; the bare class folder is not one.
      if (driverKey.empty()) continue;
      if (auto values = LookupClassKey(source.MachineRegistry(), driverKey)) {
        AppendTreeLine(text, 1, "Matching HWID");
        if (!values->MatchingDeviceId.empty())
          AppendTreeLine(text, 2, AsciiUpper(values->MatchingDeviceId));
        AppendTreeLine(text, 1, "Driver date");
        if (!values->DriverDate.empty()) AppendTreeLine(text, 2, values->DriverDate);
        AppendTreeLine(text, 1, "Driver Version");
        AppendTreeLine(text, 2, values->DriverVersion.empty() ? "0.0.0.0" : values->DriverVersion);
      }
    }
  }
  return text;
}

std::optional<std::string> BuildIdList(HwListState& state, uint32_t property) {
  DeviceSource& source = state.Source;
  const DeviceSetHandle set = source.GetClassDevs(DIGCF_PRESENT | DIGCF_ALLCLASSES);
  if (set == kInvalidDeviceSet) return std::nullopt;
  std::string text;
  {
    DeviceSetGuard guard(source, set);
    DeviceInfoData device;
    device.CbSize = kDeviceInfoDataSize;
    for (uint32_t index = 0; source.EnumDeviceInfo(set, index, device); ++index)
      for (const auto& id : ReadOrEmpty(state, set, device, property)) AppendTreeLine(text, 0, id);
  }
  return text;
}

}  // namespace cv2::hwsense
