#pragma once
// The commands of cv2server. Options follow the command words; positional arguments come last.
#include <iosfwd>
#include <string>
#include <vector>

namespace cv2 {

// Runs one command line (without the program name). Exit status: 0 done, 1 usage or input
// error, 2 the server or the store failed.
int RunServerCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cv2
