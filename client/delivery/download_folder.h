#pragma once
// Where the files of an update live: data root + "Downloads" + BaseKey + Version. BaseKey,
// Version and the file names all come from the server, so each must be one plain name that
// stays inside the update's own folder.
#include <string>

#include "safe_names.h"

namespace cv2 {

// The download folder of an update under the data root (cv2::DataRoot()).
std::string DownloadFolder(const std::string& baseKey, const std::string& version);

}  // namespace cv2
