#pragma once
// A device source for tests: devices given as property records, a machine registry in memory,
// and scripted answers to property reads for the reader's unusual paths (a property that grows
// between the probe and the read, errors the system may report).
#include <deque>
#include <map>
#include <utility>

#include "device_source.h"
#include "registry_memory.h"

namespace cv2::hwsense {

class FakeDeviceSource : public SnapshotDeviceSource {
 public:
  struct Reply {
    bool Ok = false;
    uint32_t Error = ERROR_SUCCESS;  // the last error the call leaves
    uint32_t Type = REG_SZ;
    std::string Data;  // the property's bytes; their size is the reported size
  };

  std::vector<DeviceRecord> Devices;
  MemoryRegistry Registry;
  bool CannotStart = false;

  // Answers, in order, to the reads of one property of the device at `index`; when they run out
  // the stored property answers.
  void Script(uint32_t index, uint32_t property, std::deque<Reply> replies) {
    m_scripts[{index, property}] = std::move(replies);
  }
  int Reads() const { return m_reads; }

  RegistryBackend& MachineRegistry() override { return Registry; }
  bool GetDeviceRegistryProperty(DeviceSetHandle set, const DeviceInfoData& data, uint32_t property,
                                 uint32_t* regType, uint8_t* buffer, uint32_t bufferSize,
                                 uint32_t* requiredSize) override;

 protected:
  std::optional<std::vector<DeviceRecord>> TakeSnapshot() override {
    if (CannotStart) return std::nullopt;
    return Devices;
  }

 private:
  std::map<std::pair<uint32_t, uint32_t>, std::deque<Reply>> m_scripts;
  int m_reads = 0;
};

}  // namespace cv2::hwsense
