#pragma once
// The top-level collections of a HID report descriptor: every Collection(Application) at depth 0
// with the usage page and usage in force before it, in descriptor order.
#include <string_view>
#include <vector>

#include "device_ids.h"

namespace cv2::hwsense {

std::vector<HidCollection> TopLevelCollections(std::string_view descriptor);

}  // namespace cv2::hwsense
