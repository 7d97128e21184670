#pragma once
// The commands of cv2ctl. Each takes the arguments after its own name and returns the exit
// status: 0 done, 1 usage or input error; commands document further codes of their own.
#include <iosfwd>
#include <string>
#include <vector>

namespace cv2 {

using Args = std::vector<std::string>;

int ConfigCommand(const Args& args, std::ostream& out, std::ostream& err);
int HistoryCommand(const Args& args, std::ostream& out, std::ostream& err);
// hwlist: the hardware list of libHwSense.so. 2 when the library cannot be loaded or the call
// fails or cannot start.
int HwListCommand(const Args& args, std::ostream& out, std::ostream& err);

}  // namespace cv2
