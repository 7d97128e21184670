#include "download_folder.h"

#include "paths.h"

namespace cv2 {

std::string DownloadFolder(const std::string& baseKey, const std::string& version) {
  return JoinPath(JoinPath(JoinPath(DataRoot(), "Downloads"), baseKey), version);
}

}  // namespace cv2
