#include "hid_descriptor.h"

#include <cstdint>

namespace cv2::hwsense {

std::vector<HidCollection> TopLevelCollections(std::string_view descriptor) {
  std::vector<HidCollection> collections;
  const auto* bytes = reinterpret_cast<const uint8_t*>(descriptor.data());
  const size_t size = descriptor.size();
  std::vector<uint32_t> pageStack;
  uint32_t usagePage = 0;
  bool haveUsage = false;
  uint32_t usage = 0;
  size_t usageSize = 0;
  int depth = 0;
  size_t pos = 0;
  while (pos < size) {
    const uint8_t prefix = bytes[pos];
    if (prefix == 0xFE) {  // long item: size, tag, data
      if (pos + 1 >= size) break;
      pos += 3 + bytes[pos + 1];
      continue;
    }
    size_t length = prefix & 0x3;
    if (length == 3) length = 4;
    if (pos + 1 + length > size) break;
    uint32_t value = 0;
    for (size_t i = 0; i < length; ++i)
      value |= static_cast<uint32_t>(bytes[pos + 1 + i]) << (8 * i);
    const int type = (prefix >> 2) & 0x3;
    const int tag = prefix >> 4;
    if (type == 0) {  // main item
      if (tag == 0xA) {
        if (depth == 0 && value == 0x01) {
          HidCollection tlc;
          tlc.UsagePage = usagePage;
          tlc.Usage = haveUsage ? usage : 0;
          if (haveUsage && usageSize == 4) {  // an extended usage carries its own page
            tlc.UsagePage = usage >> 16;
            tlc.Usage = usage & 0xFFFF;
          }
          collections.push_back(tlc);
        }
        ++depth;
      } else if (tag == 0xC && depth > 0) {
        --depth;
      }
      haveUsage = false;     // local items end with every main item
    } else if (type == 1) {  // global item
      if (tag == 0x0) usagePage = value;
      if (tag == 0xA) pageStack.push_back(usagePage);
      if (tag == 0xB && !pageStack.empty()) {
        usagePage = pageStack.back();
        pageStack.pop_back();
      }
    } else if (type == 2 && tag == 0x0) {  // local item: Usage
      haveUsage = true;
      usage = value;
      usageSize = length;
    }
    pos += 1 + length;
  }
  return collections;
}

}  // namespace cv2::hwsense
