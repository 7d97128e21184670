// cv2ctl sync: one synchronization run without a display.
#include "cv2ctl_commands.h"
#include "sync_runner.h"

namespace cv2 {

int SyncCommand(const Args& args, std::ostream& out, std::ostream& err) {
  return SyncCommandWith(args, out, err, nullptr);
}

}  // namespace cv2
