#pragma once
// Where a demo catalogue's hardware list comes from: a file in the tree text format, or this
// machine's list from libHwSense.so, loaded by name for the one call.
#include <string>

namespace cv2 {

// The hardware list text of this machine. Raises Error when the library or its export is
// missing or the call gives no list.
std::string HardwareListFromLibrary(const std::string& libraryName = "libHwSense.so");

}  // namespace cv2
