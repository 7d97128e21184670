#include "device_source.h"

#include <cstring>

namespace cv2::hwsense {

DeviceProperty DeviceProperty::String(const std::string& text) {
  DeviceProperty p;
  p.Type = REG_SZ;
  p.Data = text;
  p.Data += '\0';
  return p;
}

DeviceProperty DeviceProperty::MultiString(const std::vector<std::string>& texts) {
  DeviceProperty p;
  p.Type = REG_MULTI_SZ;
  for (const auto& text : texts) {
    p.Data += text;
    p.Data += '\0';
  }
  p.Data += '\0';
  return p;
}

DeviceProperty DeviceProperty::Dword(uint32_t value) {
  DeviceProperty p;
  p.Type = REG_DWORD;
  for (int i = 0; i < 4; ++i) p.Data += static_cast<char>((value >> (8 * i)) & 0xFF);
  return p;
}

DeviceSetHandle SnapshotDeviceSource::GetClassDevs(uint32_t /*flags*/) {
  auto devices = TakeSnapshot();
  if (!devices) {
    SetLastError(ERROR_INVALID_DATA);
    return kInvalidDeviceSet;
  }
  DeviceSetHandle handle = m_nextHandle++;
  m_sets.emplace(handle, std::move(*devices));
  SetLastError(ERROR_SUCCESS);
  return handle;
}

bool SnapshotDeviceSource::EnumDeviceInfo(DeviceSetHandle set, uint32_t index,
                                          DeviceInfoData& data) {
  auto it = m_sets.find(set);
  if (it == m_sets.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (data.CbSize != kDeviceInfoDataSize) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return false;
  }
  if (index >= it->second.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return false;
  }
  data.DevInst = index;
  std::memset(data.ClassGuid, 0, sizeof data.ClassGuid);
  SetLastError(ERROR_SUCCESS);
  return true;
}

const DeviceRecord* SnapshotDeviceSource::Find(DeviceSetHandle set, const DeviceInfoData& data) {
  auto it = m_sets.find(set);
  if (it == m_sets.end() || data.DevInst >= it->second.size()) return nullptr;
  return &it->second[data.DevInst];
}

bool SnapshotDeviceSource::GetDeviceRegistryProperty(DeviceSetHandle set,
                                                     const DeviceInfoData& data, uint32_t property,
                                                     uint32_t* regType, uint8_t* buffer,
                                                     uint32_t bufferSize, uint32_t* requiredSize) {
  const DeviceRecord* device = Find(set, data);
  if (!device) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  auto it = device->Properties.find(property);
  if (it == device->Properties.end()) {
    SetLastError(ERROR_INVALID_DATA);
    return false;
  }
  const DeviceProperty& value = it->second;
  const auto size = static_cast<uint32_t>(value.Data.size());
  if (regType) *regType = value.Type;
  if (requiredSize) *requiredSize = size;
  if (!buffer || bufferSize < size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  std::memcpy(buffer, value.Data.data(), size);
  SetLastError(ERROR_SUCCESS);
  return true;
}

bool SnapshotDeviceSource::DestroyDeviceInfoList(DeviceSetHandle set) {
  if (m_sets.erase(set) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  SetLastError(ERROR_SUCCESS);
  return true;
}

}  // namespace cv2::hwsense
