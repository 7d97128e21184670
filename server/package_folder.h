#pragma once
// Opening a file of the package folder for a request path. No path from a request reaches
// outside the folder: "..", ".", empty components, NUL and backslashes are refused outright,
// and the open itself is confined to the folder by the kernel (symbolic links that lead out
// are refused too).
#include <string>
#include <string_view>

namespace cv2 {

class PackageFolder {
 public:
  // Opens the folder; raises Error when it cannot be opened.
  explicit PackageFolder(const std::string& root);
  ~PackageFolder();
  PackageFolder(const PackageFolder&) = delete;
  PackageFolder& operator=(const PackageFolder&) = delete;

  // A file descriptor for the regular file at a decoded request path ("/a/b.zip"), or -1 with
  // errno ENOENT (no such file, or refused) or EACCES. The caller closes it.
  int Open(std::string_view requestPath) const;

  // True when a request path is acceptable at all (before looking at the disk).
  static bool IsAcceptablePath(std::string_view requestPath);

 private:
  int m_root = -1;
};

}  // namespace cv2
