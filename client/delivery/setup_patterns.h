#pragma once
// Which files of an unpacked package are programs and which are installer packages, per platform,
// and the four passes of the search for the setup program.
#include <string>
#include <vector>

namespace cv2 {

struct SetupPatternTable {
  std::string Platform;
  // Name endings (lower case) of programs and of installer packages.
  std::vector<std::string> ProgramEndings;
  bool ExecutableIsProgram = false;  // a regular file with an execute bit is a program as well
  std::vector<std::string> PackageEndings;
};

enum class SetupFileKind { Program, Package };

struct SetupPass {
  SetupFileKind Kind;
  std::string NamePart;  // the lower-cased name must hold it; empty: any name
};

// The passes in order; the first pass that finds an eligible file ends the search.
const std::vector<SetupPass>& SetupPasses();

// Packages made for Windows: "*.exe" programs and "*.msi" packages.
const SetupPatternTable& WindowsSetupPatterns();
// Linux: executable files and ".run"/".sh" scripts; ".deb" and ".rpm" packages.
const SetupPatternTable& LinuxSetupPatterns();
// The table of the platform the client runs on.
const SetupPatternTable& PlatformSetupPatterns();

// Whether a listed file matches a pass's pattern: by its name ending, or (where the table says
// so) because it is a regular file with an execute bit.
bool MatchesSetupKind(const SetupPatternTable& table, SetupFileKind kind, const std::string& name,
                      bool executableRegularFile);

}  // namespace cv2
