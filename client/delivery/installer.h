#pragma once
// Installing what a script marked: zip packages are unpacked and their setup program is found
// and started; other files are started directly. Every start waits for the program's end while
// events keep running.
#include <string>

#include "services.h"

namespace cv2 {

class Installer : public ExtractorService {
 public:
  // Unpacks the zip into the folder and launches its setup program (or opens the folder when
  // none is found). True when the archive was unpacked.
  virtual bool ExtractAndLaunch(const std::string& zipPath, const std::string& folder) = 0;
  // Starts a file and returns when the started program has ended (or at once when it could not
  // be started).
  virtual void LaunchAndWait(const std::string& path) = 0;
};

}  // namespace cv2
