#pragma once
// The commands of cv2ctl. Each takes the arguments after its own name and returns the exit
// status: 0 done, 1 usage or input error; commands document further codes of their own.
#include <iosfwd>
#include <string>
#include <vector>

namespace cv2 {

using Args = std::vector<std::string>;

int ConfigCommand(const Args& args, std::ostream& out, std::ostream& err);
// Exit statuses beyond 0 and 1: 2 the run stalled, 3 the session failed.
int SyncCommand(const Args& args, std::ostream& out, std::ostream& err);

}  // namespace cv2
