#include "fake_device_source.h"

#include <cstring>

namespace cv2::hwsense {

bool FakeDeviceSource::GetDeviceRegistryProperty(DeviceSetHandle set, const DeviceInfoData& data,
                                                 uint32_t property, uint32_t* regType,
                                                 uint8_t* buffer, uint32_t bufferSize,
                                                 uint32_t* requiredSize) {
  ++m_reads;
  auto it = m_scripts.find({data.DevInst, property});
  if (it == m_scripts.end() || it->second.empty())
    return SnapshotDeviceSource::GetDeviceRegistryProperty(set, data, property, regType, buffer,
                                                           bufferSize, requiredSize);
  Reply reply = std::move(it->second.front());
  it->second.pop_front();
  const auto size = static_cast<uint32_t>(reply.Data.size());
  if (regType) *regType = reply.Type;
  if (requiredSize) *requiredSize = size;
  bool ok = reply.Ok;
  if (ok && (!buffer || bufferSize < size)) ok = false;  // a success needs room for the bytes
  if (ok) std::memcpy(buffer, reply.Data.data(), size);
  SetLastError(reply.Error);
  return ok;
}

}  // namespace cv2::hwsense
