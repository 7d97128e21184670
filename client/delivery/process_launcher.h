#pragma once
// Starts a file the way the desktop would and waits for the started program's end in a nested
// event loop, so the window stays live meanwhile. Programs (an execute bit, or a ".sh"/".run"
// script) are started directly, never through a shell command line; any other file goes to the
// desktop's opener, which gives nothing to wait for.
#include <string>

#include "user_interface.h"

namespace cv2 {

class ProcessLauncher {
 public:
  explicit ProcessLauncher(UserInterface& ui) : m_ui(ui) {}
  // Returns when the started program has ended, or at once when nothing could be started.
  // True when a program was started and has ended.
  bool LaunchAndWait(const std::string& path);

 private:
  bool RunAndWait(const std::string& program, const std::string& argument);
  UserInterface& m_ui;
};

}  // namespace cv2
