#pragma once
// Folders of the installation. The program folder holds the executables, the two libraries and
// "MFG List.zlb"; the data root holds the settings store, Software.dat and the Downloads tree.
#include <string>

namespace cv2 {

// The folder of the running executable, without a trailing separator.
std::string ProgramFolder();
// CV2_HOME when set and not empty, else the program folder.
std::string DataRoot();
// Joins two path parts with exactly one "/" between them.
std::string JoinPath(const std::string& folder, const std::string& name);

// Reads a whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& content);

}  // namespace cv2
