#pragma once
// Unpacks every entry of a zip archive into a folder: the stored folder names are recreated,
// existing files are overwritten, the permission bits come from the archive (0755 or 0644 only).
// The archive is checked as a whole first (zip_guard.h); a refused archive writes nothing.
#include <string>

#include "error.h"
#include "zip_guard.h"

namespace cv2 {

class ZipExtractor {
 public:
  explicit ZipExtractor(ZipLimits limits = {}) : m_limits(limits) {}
  // Raises an error that says why when the archive cannot be opened, is refused, or an entry
  // cannot be written.
  void Extract(const std::string& zipPath, const std::string& folder) const;

 private:
  ZipLimits m_limits;
};

}  // namespace cv2
