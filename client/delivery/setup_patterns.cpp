#include "setup_patterns.h"

#include "text_util.h"

namespace cv2 {

const std::vector<SetupPass>& SetupPasses() {
  static const std::vector<SetupPass> passes = {
      {SetupFileKind::Program, "setup"},
      {SetupFileKind::Program, "install"},
      {SetupFileKind::Package, "install"},
      {SetupFileKind::Program, ""},
  };
  return passes;
}

const SetupPatternTable& WindowsSetupPatterns() {
  static const SetupPatternTable table{"Windows", {".exe"}, false, {".msi"}};
  return table;
}

const SetupPatternTable& LinuxSetupPatterns() {
  static const SetupPatternTable table{"Linux", {".run", ".sh"}, true, {".deb", ".rpm"}};
  return table;
}

const SetupPatternTable& PlatformSetupPatterns() {
#ifdef _WIN32
  return WindowsSetupPatterns();
#else
  return LinuxSetupPatterns();
#endif
}

bool MatchesSetupKind(const SetupPatternTable& table, SetupFileKind kind, const std::string& name,
                      bool executableRegularFile) {
  const std::string lower = AsciiLower(name);
  const auto& endings =
      kind == SetupFileKind::Program ? table.ProgramEndings : table.PackageEndings;
  for (const std::string& ending : endings)
    if (lower.size() >= ending.size() &&
        lower.compare(lower.size() - ending.size(), ending.size(), ending) == 0)
      return true;
  return kind == SetupFileKind::Program && table.ExecutableIsProgram && executableRegularFile;
}

}  // namespace cv2
