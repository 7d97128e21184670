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
// Prints the hardware report of this machine. 2 when the hardware list could not be loaded (the
// report is still printed, as a run composes it anyway).
int ReportCommand(const Args& args, std::ostream& out, std::ostream& err);
// A report line for reading: CR as \r, LF as \n, other control bytes as \xHH; the rest as is.
std::string VisibleReportLine(const std::string& line);
// Exit statuses beyond 0 and 1: 2 the run stalled, 3 the session failed.
int SyncCommand(const Args& args, std::ostream& out, std::ostream& err);

}  // namespace cv2
